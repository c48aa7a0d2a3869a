// Export of the device list as CSV (for spreadsheets) and JSON (for
// people and scripts). The CSV is what the table shows: its visible
// columns in their order, headed in the page's language.

import { COLUMNS } from './columns.js';
import { effectiveState } from './effective.js';
import { methodLabel } from './present.js';

/** The device fields of the JSON export: no flags of the program's own bookkeeping. */
export const JSON_KEYS = [
  'id',
  'name',
  'type',
  'articleNumber',
  'serialNumber',
  'manufacturer',
  'manufactureDate',
  'hwVersion',
  'fwVersion',
  'url',
  'networkMethod',
  'ip',
  'subnetMask',
  'defaultGateway',
  'mac',
  'ipOfAssociatedNic',
  'deviceState',
  'statusStringDetails',
  'supportsDHCP',
  'supportsPersistentIP',
  'supportsLocalize',
  'isFavorite',
  'isMissing',
  'isAccessible',
  'isAuthentication',
];

// Texts a spreadsheet would turn into a number, date or time and so lose
// what they say: hardware "01", serial "000123", firmware "2.10", "1E5".
const LOOKS_NUMERIC = /^[\d.,:/ -]*\d[\d.,:/ -]*$|^\d+[eE][-+]?\d+$/;

/** The separator a spreadsheet of this language expects: ";" where the decimal mark is a comma. */
export function csvSeparator(locale) {
  try {
    return new Intl.NumberFormat(locale).format(1.5).includes(',') ? ';' : ',';
  } catch {
    return ',';
  }
}

/**
 * One CSV cell. Device texts come from the network: a text that a
 * spreadsheet would run as a formula gets a leading apostrophe. A text that
 * it would read as a number is written as the formula ="text", which Excel
 * and LibreOffice both show as the text itself.
 */
export function csvCell(value, sep = ',') {
  let s = Array.isArray(value) ? value.join('; ') : value === null || value === undefined ? '' : String(value);
  if (/^[=+\-@\t\r]/.test(s)) s = `'${s}`;
  else if (LOOKS_NUMERIC.test(s)) s = `="${s}"`;
  if (s.includes('"') || s.includes(sep) || /[,;\r\n]/.test(s) || s !== s.trim()) s = `"${s.replace(/"/g, '""')}"`;
  return s;
}

/** The text of one column for one device, as the table shows it. */
function cellText(col, d, { t, answered }) {
  switch (col.key) {
    case 'isFavorite':
      return d.isFavorite ? t('export.yes') : '';
    case 'status': {
      const eff = effectiveState(d);
      const label = t(eff.label);
      const own = eff.own ? ` (${t('effective.own', { state: t(`state.${eff.own}`) })})` : '';
      const lines = Array.isArray(d.statusStringDetails) ? d.statusStringDetails : [];
      return [label + own, ...lines].join(' · ');
    }
    case 'networkMethod':
      return methodLabel(d.networkMethod, t);
    case 'lastAnswered':
      return answered(d.id);
    default:
      return col.get(d);
  }
}

/**
 * CSV text with a header line, CRLF line ends (RFC 4180) and a BOM so
 * spreadsheets read UTF-8. `columns` are the visible column keys in table
 * order; `t` translates; `answered(id)` gives the last answer as text.
 */
export function toCsv(devices, { columns = COLUMNS.map((c) => c.key), t = (k) => k, locale = 'en', answered = () => '' } = {}) {
  const sep = csvSeparator(locale);
  const cols = columns.map((k) => COLUMNS.find((c) => c.key === k)).filter(Boolean);
  const all = [...cols, { key: 'lastAnswered', label: 'details.lastAnswered' }];
  const lines = [all.map((c) => csvCell(t(c.label), sep)).join(sep)];
  for (const d of devices) lines.push(all.map((c) => csvCell(cellText(c, d, { t, answered }), sep)).join(sep));
  return `\uFEFF${lines.join('\r\n')}\r\n`;
}

/** The devices as JSON: their fields, the state shown first and the last answer (ISO 8601 or null). */
export function toJson(devices, { answered = () => null } = {}) {
  const list = devices.map((d) => {
    const out = {};
    for (const k of JSON_KEYS) if (k in d) out[k] = d[k];
    out.state = effectiveState(d).key;
    out.lastAnswered = answered(d.id);
    return out;
  });
  return `${JSON.stringify(list, null, 2)}\n`;
}

/** "lanfinder-devices-20261207-2315" for a date. */
export function exportFileName(date, extension, prefix = 'lanfinder-devices') {
  const p = (n) => String(n).padStart(2, '0');
  return `${prefix}-${date.getFullYear()}${p(date.getMonth() + 1)}${p(date.getDate())}-${p(date.getHours())}${p(date.getMinutes())}.${extension}`;
}
