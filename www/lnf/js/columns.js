// The device table's columns: what each shows, how it sorts and what a
// search looks at. Pure data and functions, shared by the table, the sort,
// the search and the export.

import { ipSortKey } from './ipv4.js';
import { changePhase } from './state.js';

const str = (v) => (v === null || v === undefined ? '' : String(v));

const STATE_ORDER = { ERROR: 0, WARNING: 1, LOCALIZE: 2, ACTIVE: 3, UNKNOWN: 4 };

export const COLUMNS = [
  { key: 'isFavorite', label: 'col.favorite', width: 44, sort: 'bool', fixed: true, get: (d) => Boolean(d.isFavorite) },
  { key: 'name', label: 'col.name', width: 200, sort: 'text', fixed: true, get: (d) => str(d.name) },
  { key: 'ip', label: 'col.ip', width: 130, sort: 'ip', get: (d) => str(d.ip) },
  { key: 'status', label: 'col.status', width: 240, sort: 'status', get: (d) => str(d.deviceState) },
  { key: 'type', label: 'col.type', width: 130, sort: 'text', get: (d) => str(d.type) },
  { key: 'articleNumber', label: 'col.articleNumber', width: 110, sort: 'text', get: (d) => str(d.articleNumber) },
  { key: 'serialNumber', label: 'col.serialNumber', width: 110, sort: 'text', get: (d) => str(d.serialNumber) },
  { key: 'subnetMask', label: 'col.subnetMask', width: 130, sort: 'ip', get: (d) => str(d.subnetMask) },
  { key: 'defaultGateway', label: 'col.defaultGateway', width: 130, sort: 'ip', get: (d) => str(d.defaultGateway) },
  { key: 'networkMethod', label: 'col.networkMethod', width: 100, sort: 'text', get: (d) => str(d.networkMethod) },
  { key: 'fwVersion', label: 'col.fwVersion', width: 100, sort: 'version', get: (d) => str(d.fwVersion) },
  { key: 'hwVersion', label: 'col.hwVersion', width: 90, sort: 'version', get: (d) => str(d.hwVersion) },
  { key: 'mac', label: 'col.mac', width: 150, sort: 'text', get: (d) => str(d.mac) },
  { key: 'ipOfAssociatedNic', label: 'col.nic', width: 130, sort: 'ip', get: (d) => str(d.ipOfAssociatedNic) },
];

export const COLUMN_BY_KEY = new Map(COLUMNS.map((c) => [c.key, c]));

/** Device keys whose change can move a device in the given sort. */
export function sortDependencies(sortKey) {
  if (sortKey === 'status') return ['deviceState', 'isMissing', 'isAccessible', 'shouldProcess', 'isProcessing', 'isRebooting', 'conflict'];
  return [sortKey];
}

/** A severity rank for the status column: what needs the user's eye first. */
export function statusRank(d, conflict, gone = false) {
  if (gone || d.isMissing) return 0;
  if (changePhase(d) !== 'idle') return 1;
  if (conflict) return 2;
  if (d.isAccessible === false) return 3;
  return 4 + (STATE_ORDER[d.deviceState] ?? 5);
}

const collator = new Intl.Collator(undefined, { sensitivity: 'base', numeric: true });

export function compareValues(kind, a, b) {
  switch (kind) {
    case 'bool':
      return (b ? 1 : 0) - (a ? 1 : 0); // favourites first when ascending
    case 'ip':
      return ipSortKey(a) - ipSortKey(b) || collator.compare(a, b);
    case 'status':
      return a - b;
    case 'version':
    case 'text':
    default:
      if (a === '' && b !== '') return 1; // empty cells last
      if (b === '' && a !== '') return -1;
      return collator.compare(a, b);
  }
}
