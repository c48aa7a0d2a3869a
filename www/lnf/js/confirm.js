// The page's own question before edits are thrown away: a modal dialog, so
// the keyboard stays in it (Tab between the two answers, Escape keeps the
// edits) and the answer is given before anything else happens.

/**
 * Shows `dialog` (the <dialog> with a method="dialog" form whose buttons
 * carry value="keep" and value="discard") with `text`, and resolves to true
 * when the user chose to discard. Keeping is the default: it has the focus,
 * and closing the dialog any other way keeps the edits too.
 */
export function askToDiscard(dialog, text) {
  return new Promise((resolve) => {
    dialog.querySelector('#dlg-discard-text').textContent = text;
    dialog.returnValue = '';
    dialog.addEventListener('close', () => resolve(dialog.returnValue === 'discard'), { once: true });
    dialog.showModal();
    dialog.querySelector('[value="keep"]').focus();
  });
}
