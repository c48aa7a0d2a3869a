// Which devices the table shows and in what order: search, quick filters and
// sorting over the state's device map.

import { COLUMN_BY_KEY, compareValues, statusRank, sortDependencies } from './columns.js';
import { changePhase, hasConflict } from './state.js';

export const FILTERS = ['favorites', 'attention', 'busy', 'conflicts', 'unreachable', 'missing'];

const SEARCH_KEYS = ['name', 'type', 'articleNumber', 'serialNumber', 'ip', 'subnetMask', 'defaultGateway', 'networkMethod',
  'fwVersion', 'hwVersion', 'mac', 'ipOfAssociatedNic', 'deviceState', 'manufacturer', 'url'];

export function createViewCache() {
  return { haystack: new Map() }; // id -> { rev, text }
}

function haystackOf(state, cache, id, device) {
  const rev = state.rev.get(id);
  const hit = cache.haystack.get(id);
  if (hit && hit.rev === rev) return hit.text;
  const parts = SEARCH_KEYS.map((k) => device[k]);
  if (Array.isArray(device.statusStringDetails)) parts.push(...device.statusStringDetails);
  const text = parts.filter((p) => p !== undefined && p !== null && p !== '').join('\u0001').toLowerCase();
  cache.haystack.set(id, { rev, text });
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
      return Boolean(device.isMissing) || device.isAccessible === false || device.deviceState === 'ERROR' ||
        device.deviceState === 'WARNING' || hasConflict(state, id);
    default:
      return true;
  }
}

/** Splits a search text into lower-case words; every word must match. */
export function parseQuery(query) {
  return String(query || '').toLowerCase().split(/\s+/).filter(Boolean);
}

/**
 * The ids to show, in order. `filters` is a set of FILTERS names (all must
 * hold), `nic` an address of a PC card or '' for all.
 */
export function buildView(state, { query = '', filters = new Set(), nic = '', sortKey = 'name', sortDir = 'asc' } = {}, cache = createViewCache()) {
  const words = parseQuery(query);
  const rows = [];
  for (const [id, device] of state.devices) {
    if (nic && device.ipOfAssociatedNic !== nic) continue;
    let ok = true;
    for (const f of filters) if (!matchesFilter(state, id, device, f)) { ok = false; break; }
    if (!ok) continue;
    if (words.length) {
      const text = haystackOf(state, cache, id, device);
      if (!words.every((w) => text.includes(w))) continue;
    }
    rows.push(id);
  }
  if (cache.haystack.size > state.devices.size * 2) {
    for (const id of cache.haystack.keys()) if (!state.devices.has(id)) cache.haystack.delete(id);
  }
  const column = COLUMN_BY_KEY.get(sortKey);
  if (!column) return rows;
  const keyOf = column.sort === 'status'
    ? (id) => statusRank(state.devices.get(id), hasConflict(state, id))
    : (id) => column.get(state.devices.get(id));
  const keys = new Map(rows.map((id) => [id, keyOf(id)]));
  const nameOf = (id) => String(state.devices.get(id).name ?? '');
  const dir = sortDir === 'desc' ? -1 : 1;
  rows.sort((a, b) => dir * compareValues(column.sort, keys.get(a), keys.get(b)) ||
    compareValues('text', nameOf(a), nameOf(b)) || (a < b ? -1 : a > b ? 1 : 0));
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
