// Which devices the table shows and in what order: search, quick filters and
// sorting over the state's device map.

import { COLUMN_BY_KEY, compareValues, statusRank, sortDependencies } from './columns.js';
import { changePhase, hasConflict } from './state.js';
import { matchesWords, parseQuery, searchText } from './search.js';

export const FILTERS = ['favorites', 'attention', 'busy', 'conflicts', 'unreachable', 'missing'];

const SEARCH_KEYS = [
  'name',
  'type',
  'articleNumber',
  'serialNumber',
  'ip',
  'subnetMask',
  'defaultGateway',
  'networkMethod',
  'fwVersion',
  'hwVersion',
  'mac',
  'ipOfAssociatedNic',
  'deviceState',
  'manufacturer',
  'url',
];

export function createViewCache() {
  return { haystack: new Map() }; // id -> { rev, text }
}

function haystackOf(state, cache, id, device) {
  const rev = state.rev.get(id);
  const hit = cache.haystack.get(id);
  if (hit && hit.rev === rev) return hit.text;
  const fields = SEARCH_KEYS.map((k) => device[k]);
  if (Array.isArray(device.statusStringDetails)) fields.push(...device.statusStringDetails);
  const text = searchText(fields, device.mac);
  // A removed device has no rev: its kept row is searched afresh.
  if (rev !== undefined) cache.haystack.set(id, { rev, text });
  return text;
}

export function matchesFilter(state, id, device, filter) {
  switch (filter) {
    case 'favorites':
      return Boolean(device.isFavorite);
    case 'missing':
      return Boolean(device.isMissing);
    case 'unreachable':
      return !device.isMissing && device.isAccessible === false;
    case 'busy':
      return changePhase(device) !== 'idle';
    case 'conflicts':
      return hasConflict(state, id);
    case 'attention':
      return (
        Boolean(device.isMissing) ||
        device.isAccessible === false ||
        device.deviceState === 'ERROR' ||
        device.deviceState === 'WARNING' ||
        hasConflict(state, id)
      );
    default:
      return true;
  }
}

/**
 * The ids to show, in order. `filters` is a set of FILTERS names (all must
 * hold), `nic` an address of a PC card or '' for all.
 */
function passes(state, id, device, words, filters, nic, cache) {
  if (nic && device.ipOfAssociatedNic !== nic) return false;
  for (const f of filters) if (!matchesFilter(state, id, device, f)) return false;
  if (words.length) {
    const text = haystackOf(state, cache, id, device);
    if (!matchesWords(text, words)) return false;
  }
  return true;
}

/** A device of the state, or the kept copy of one that left. */
export function deviceGetter(state, gone) {
  if (!gone || gone.size === 0) return (id) => state.devices.get(id);
  return (id) => state.devices.get(id) || gone.get(id);
}

/**
 * What the view's order compares of one id: its sort key, its name (the
 * tie-break) and the id itself, or null for store order.
 */
function sortEntry(state, sortKey, get) {
  const column = COLUMN_BY_KEY.get(sortKey);
  if (!column) return null;
  const keyOf = column.sort === 'status' ? (id, d) => statusRank(d, hasConflict(state, id), !state.devices.has(id)) : (id, d) => column.get(d);
  return (id) => {
    const d = get(id);
    return { id, key: keyOf(id, d), name: String(d.name ?? '') };
  };
}

function compareEntries(kind, dir, a, b) {
  return dir * compareValues(kind, a.key, b.key) || compareValues('text', a.name, b.name) || (a.id < b.id ? -1 : a.id > b.id ? 1 : 0);
}

/** The order of the view as a comparison of two ids, or null for store order. */
function comparator(state, sortKey, sortDir, get) {
  const entry = sortEntry(state, sortKey, get);
  if (!entry) return null;
  const kind = COLUMN_BY_KEY.get(sortKey).sort;
  const dir = sortDir === 'desc' ? -1 : 1;
  return (a, b) => compareEntries(kind, dir, entry(a), entry(b));
}

/**
 * `gone` (optional) holds rows of devices that left, which keep their place
 * in the view until they expire.
 */
export function buildView(
  state,
  { query = '', filters = new Set(), nic = '', sortKey = 'name', sortDir = 'asc' } = {},
  cache = createViewCache(),
  gone = null,
) {
  const words = parseQuery(query);
  const rows = [];
  for (const [id, device] of state.devices) if (passes(state, id, device, words, filters, nic, cache)) rows.push(id);
  if (gone) {
    for (const [id, { device }] of gone.entries()) {
      if (!state.devices.has(id) && passes(state, id, device, words, filters, nic, cache)) rows.push(id);
    }
  }
  if (cache.haystack.size > state.devices.size * 2 + 64) {
    for (const id of cache.haystack.keys()) if (!state.devices.has(id)) cache.haystack.delete(id);
  }
  return sortRows(state, rows, sortKey, sortDir, gone);
}

/**
 * Sorts ids the way `comparator` orders them, with each id's sort key and
 * name taken once beforehand: a sort of thousands compares each id many
 * times over.
 */
function sortRows(state, rows, sortKey, sortDir, gone) {
  const entry = sortEntry(state, sortKey, deviceGetter(state, gone));
  if (!entry) return rows;
  const kind = COLUMN_BY_KEY.get(sortKey).sort;
  const dir = sortDir === 'desc' ? -1 : 1;
  const entries = rows.map(entry);
  entries.sort((a, b) => compareEntries(kind, dir, a, b));
  for (let i = 0; i < entries.length; i++) rows[i] = entries[i].id;
  return rows;
}

/**
 * The view after a batch of changes, from the previous one: the touched
 * devices are taken out and put back at their sorted place, which costs far
 * less than sorting thousands of devices again for a few changes. Falls
 * back to a full build for large batches, for store order and for the full
 * state.
 */
export function updateView(state, previous, changes, opts = {}, cache = createViewCache(), gone = null) {
  const { query = '', filters = new Set(), nic = '', sortKey = 'name', sortDir = 'asc' } = opts;
  const touched = new Set(changes.added);
  for (const id of changes.updated.keys()) touched.add(id);
  const compare = comparator(state, sortKey, sortDir, deviceGetter(state, gone));
  if (changes.full || !compare || touched.size + changes.removed.size > Math.max(50, previous.length / 8)) {
    return buildView(state, opts, cache, gone);
  }
  const words = parseQuery(query);
  // A removed device whose row is kept stays where it is; when every
  // removed row is kept and nothing else moved, the view stays as it is.
  const leaving = new Set();
  for (const id of changes.removed) if (!(gone && gone.has(id))) leaving.add(id);
  if (touched.size === 0 && leaving.size === 0) return previous;
  const rows = previous.filter((id) => !touched.has(id) && !leaving.has(id));
  for (const id of touched) {
    const device = state.devices.get(id);
    if (!device || !passes(state, id, device, words, filters, nic, cache)) continue;
    let lo = 0;
    let hi = rows.length;
    while (lo < hi) {
      const mid = (lo + hi) >>> 1;
      if (compare(rows[mid], id) < 0) lo = mid + 1;
      else hi = mid;
    }
    rows.splice(lo, 0, id);
  }
  return rows;
}

/** Whether a batch of changes can alter which rows show or their order. */
export function viewAffected(changes, { query = '', filters = new Set(), nic = '', sortKey = 'name' } = {}) {
  if (changes.full || changes.added.size || changes.removed.size) return true;
  if (changes.updated.size === 0) return false;
  if (parseQuery(query).length || filters.size) return true;
  const deps = new Set([...sortDependencies(sortKey), 'name']);
  if (nic) deps.add('ipOfAssociatedNic');
  for (const keys of changes.updated.values()) for (const k of keys) if (deps.has(k)) return true;
  return false;
}
