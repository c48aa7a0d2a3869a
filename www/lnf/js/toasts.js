// Short messages in the corner. Errors stay longer; a toast stays while the
// pointer or the keyboard focus is on it.

import { h, icon } from './dom.js';

const ICONS = { success: 'check', error: 'alert', warning: 'alert', info: 'info' };
const LIFETIME = { success: 6000, info: 6000, warning: 9000, error: 14000 };
const MAX_VISIBLE = 6;

export class Toasts {
  constructor(container, t) {
    this.container = container;
    this.t = t;
  }

  show({ title, level = 'info', device = '', count = 1, message = '' }) {
    const close = h(
      'button',
      { type: 'button', class: 'btn ghost icon-only', 'aria-label': this.t('dialog.close'), title: this.t('dialog.close') },
      icon('close'),
    );
    const titleEl = h('p', { class: 'toast-title' }, title);
    if (count > 1) titleEl.append(h('span', { class: 'toast-count', text: `×${count}` }));
    const toast = h(
      'div',
      { class: `toast ${level}`, role: level === 'error' ? 'alert' : 'status', dataset: { message } },
      icon(ICONS[level] || 'info'),
      h('div', { class: 'toast-body' }, titleEl, device ? h('p', { class: 'toast-device', text: device }) : null),
      close,
    );
    let timer = null;
    let remaining = LIFETIME[level] || 6000;
    let started = 0;
    const dismiss = () => {
      clearTimeout(timer);
      toast.remove();
    };
    const arm = () => {
      started = Date.now();
      timer = setTimeout(dismiss, remaining);
    };
    const hold = () => {
      clearTimeout(timer);
      remaining = Math.max(1500, remaining - (Date.now() - started));
    };
    close.addEventListener('click', dismiss);
    toast.addEventListener('mouseenter', hold);
    toast.addEventListener('mouseleave', arm);
    toast.addEventListener('focusin', hold);
    toast.addEventListener('focusout', arm);
    this.container.append(toast);
    while (this.container.children.length > MAX_VISIBLE) this.container.firstChild.remove();
    arm();
    return toast;
  }
}
