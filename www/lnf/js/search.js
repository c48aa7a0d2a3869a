// The search: every word must match the start of a word in some field of
// a device. Words start at the start of a field, after a character that is
// neither letter nor digit, where letters and digits meet ("S" "1009") and
// at a capital inside a word ("Vision" "Sensor"). So "sensor 9" finds a
// sensor named "Line 9", not every device with a 9 in its serial number.
// A MAC address matches with or without its separators.

const ALNUM = /[\p{L}\p{N}]/u;
const DIGIT = /\p{N}/u;
const UPPER = /\p{Lu}/u;
const LOWER = /\p{Ll}/u;
const MAC_SEPARATORS = /[:\-.\s]/g;
const HEX_WITH_SEPARATORS = /^[0-9a-f]{2}([:\-.]?[0-9a-f]{1,2})*[:\-.]?$/;

function startsOf(text) {
  const starts = new Uint8Array(text.length + 1);
  let prev = '';
  let i = 0;
  for (const ch of text) {
    if (ALNUM.test(ch)) {
      if (!prev || !ALNUM.test(prev) || DIGIT.test(prev) !== DIGIT.test(ch) || (LOWER.test(prev) && UPPER.test(ch))) starts[i] = 1;
    }
    prev = ch;
    i += ch.length;
  }
  return starts;
}

/**
 * The searchable form of a device's fields: one text (fields joined by a
 * character no word holds) with the positions where words start. `mac` is
 * added once more without separators.
 */
export function searchText(fields, mac = '') {
  const parts = fields.filter((p) => p !== undefined && p !== null && p !== '').map(String);
  const compact = String(mac || '').replace(MAC_SEPARATORS, '');
  if (compact) parts.push(compact);
  const original = parts.join('\u0001');
  // Lower-casing keeps the length for the texts devices use; where it would
  // not, the positions are taken from the lower-cased text itself.
  const lower = original.toLowerCase();
  const starts = startsOf(lower.length === original.length ? original : lower);
  return { text: lower, starts };
}

/** Splits a search text into lower-case words; every word must match. */
export function parseQuery(query) {
  return String(query || '')
    .toLowerCase()
    .split(/\s+/)
    .filter(Boolean);
}

function matchesWord({ text, starts }, word) {
  for (let i = text.indexOf(word); i !== -1; i = text.indexOf(word, i + 1)) if (starts[i]) return true;
  return false;
}

/** Whether every word matches at a word start; a MAC-like word also without its separators. */
export function matchesWords(haystack, words) {
  return words.every((w) => {
    if (matchesWord(haystack, w)) return true;
    if (!HEX_WITH_SEPARATORS.test(w)) return false;
    const compact = w.replace(MAC_SEPARATORS, '');
    return compact !== w && compact !== '' && matchesWord(haystack, compact);
  });
}
