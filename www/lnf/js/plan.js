// A plan file: one row per device, found by serial number, MAC or id, with
// the settings it is to get. CSV (header row, "," or ";", quoted cells) or
// JSON (an array of objects). Rows are matched against the listed devices,
// never guessed: a row that finds no device or several is listed as such.
// No DOM here.

import { formValuesOf } from './changeform.js';

export const MATCH_KEYS = ['id', 'serialNumber', 'mac'];
export const VALUE_KEYS = ['name', 'ip', 'subnetMask', 'defaultGateway', 'networkMethod'];
const KNOWN = new Map([...MATCH_KEYS, ...VALUE_KEYS].map((k) => [k.toLowerCase(), k]));

/** Splits CSV text into rows of cells (RFC 4180 quoting; CRLF, LF or CR line ends). */
export function parseCsv(text, sep) {
  const rows = [];
  let row = [];
  let cell = '';
  let quoted = false;
  let i = 0;
  const s = text.replace(/^\uFEFF/, '');
  const endCell = () => {
    row.push(cell);
    cell = '';
  };
  const endRow = () => {
    endCell();
    if (row.length > 1 || row[0] !== '') rows.push(row);
    row = [];
  };
  while (i < s.length) {
    const ch = s[i];
    if (quoted) {
      if (ch === '"' && s[i + 1] === '"') {
        cell += '"';
        i += 2;
        continue;
      }
      if (ch === '"') quoted = false;
      else cell += ch;
    } else if (ch === '"' && cell === '') quoted = true;
    else if (ch === sep) endCell();
    else if (ch === '\r' || ch === '\n') {
      endRow();
      if (ch === '\r' && s[i + 1] === '\n') i += 1;
    } else cell += ch;
    i += 1;
  }
  if (cell !== '' || row.length) endRow();
  return rows;
}

/** ";" when the header line has more of them than commas outside quotes, else ",". */
export function guessSeparator(text) {
  const line = text.replace(/^\uFEFF/, '').split(/\r\n|\n|\r/, 1)[0] || '';
  let commas = 0;
  let semicolons = 0;
  let quoted = false;
  for (const ch of line) {
    if (ch === '"') quoted = !quoted;
    else if (!quoted && ch === ',') commas += 1;
    else if (!quoted && ch === ';') semicolons += 1;
  }
  return semicolons > commas ? ';' : ',';
}

// The device list's export writes number-like texts as ="…" so that a
// spreadsheet keeps them; a plan made from that file reads them back.
const unwrap = (v) => {
  const s = v === null || v === undefined ? '' : String(v).trim();
  const m = /^="(.*)"$/.exec(s);
  return m ? m[1] : s;
};

/** The known keys of one row; empty cells are left out, so they keep the device's value. */
function readRow(entries, line) {
  const cells = {};
  for (const [key, value] of entries) {
    const k = KNOWN.get(String(key).trim().toLowerCase());
    const v = unwrap(value);
    if (k && v !== '') cells[k] = v;
  }
  return { line, cells };
}

/**
 * Reads a plan file. Returns { rows: [{ line, cells }], error: key|null };
 * `line` is the row's line in a CSV file (the header is line 1) or its
 * place in a JSON array (from 1).
 */
export function parsePlan(text, fileName = '') {
  const s = String(text).replace(/^\uFEFF/, '');
  const json = /\.json$/i.test(fileName) || /^\s*[[{]/.test(s);
  if (json) {
    let doc;
    try {
      doc = JSON.parse(s);
    } catch {
      return { rows: [], error: 'plan.error.json' };
    }
    const list = Array.isArray(doc) ? doc : doc && Array.isArray(doc.devices) ? doc.devices : null;
    if (!list) return { rows: [], error: 'plan.error.json' };
    const rows = list.map((o, i) => readRow(o && typeof o === 'object' ? Object.entries(o) : [], i + 1));
    return { rows, error: null };
  }
  const table = parseCsv(s, guessSeparator(s));
  if (table.length === 0) return { rows: [], error: 'plan.error.empty' };
  const [head, ...body] = table;
  if (!head.some((h) => MATCH_KEYS.includes(KNOWN.get(h.trim().toLowerCase())))) return { rows: [], error: 'plan.error.noKey' };
  return {
    rows: body.map((cells, i) =>
      readRow(
        head.map((h, j) => [h, cells[j]]),
        i + 2,
      ),
    ),
    error: null,
  };
}

const macKey = (v) =>
  String(v || '')
    .replace(/[^0-9a-f]/gi, '')
    .toLowerCase();
const same = (a, b) => String(a || '').toLowerCase() === String(b || '').toLowerCase();
const METHODS = new Map([
  ['dhcp', 'DHCP'],
  ['persistentip', 'PersistentIP'],
]);

/**
 * Finds each row's device: every match key the row gives must agree.
 * Returns { matched: [{ row, device }], unmatched: [{ row, reason }],
 * ambiguous: [{ row, ids }] }; reasons: "noKey", "noDevice", "twice" (an
 * earlier row has the device already), "method" (a method that is neither
 * "DHCP" nor "PersistentIP").
 */
export function matchPlan(rows, devices) {
  const out = { matched: [], unmatched: [], ambiguous: [] };
  const taken = new Set();
  for (const row of rows) {
    const keys = MATCH_KEYS.filter((k) => k in row.cells);
    if (!keys.length) {
      out.unmatched.push({ row, reason: 'noKey' });
      continue;
    }
    const found = devices.filter((d) =>
      keys.every((k) => (k === 'mac' ? macKey(d.mac) !== '' && macKey(d.mac) === macKey(row.cells.mac) : same(d[k], row.cells[k]))),
    );
    if (found.length === 0) out.unmatched.push({ row, reason: 'noDevice' });
    else if (found.length > 1) out.ambiguous.push({ row, ids: found.map((d) => d.id) });
    else if (taken.has(found[0].id)) out.unmatched.push({ row, reason: 'twice' });
    else if ('networkMethod' in row.cells && !METHODS.has(row.cells.networkMethod.toLowerCase())) out.unmatched.push({ row, reason: 'method' });
    else {
      taken.add(found[0].id);
      out.matched.push({ row, device: found[0] });
    }
  }
  return out;
}

/** The plan's items for the preview: each device's current settings with the row's cells over them. */
export function planItems(matched) {
  return matched.map(({ row, device }) => {
    const current = formValuesOf(device);
    const planned = { ...current };
    const c = row.cells;
    if ('name' in c) planned.name = c.name;
    if ('networkMethod' in c) planned.method = METHODS.get(c.networkMethod.toLowerCase());
    const addresses = ['ip', 'subnetMask', 'defaultGateway'].filter((k) => k in c);
    for (const k of addresses) planned[k] = c[k];
    // Addresses go out only with a fixed address: dropping them unseen would
    // leave the device where it is while the plan says otherwise.
    const problems = addresses.length && planned.method !== 'PersistentIP' ? [{ key: 'batch.problem.notFixed' }] : [];
    return { id: device.id, device, current, planned, problems };
  });
}
