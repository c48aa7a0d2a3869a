// The browser's copy of the application state: the full-state document
// replaces it, each diff document is applied to it in place. No DOM here, so
// node's test runner imports it as it is.

import { parseIPv4 } from './ipv4.js';
import { mergeBatch } from './batchreport.js';

export const APP_KEYS = ['language', 'theme', 'version', 'languages', 'nics', 'protocolState', 'autoScanner', 'batch'];

export function createState() {
  return {
    loaded: false,
    devices: new Map(), // id -> device object, in the application's store order
    rev: new Map(), // id -> number bumped on every change that affects the device's row
    ipIndex: new Map(), // address -> Set of ids of present devices using it
    ipKeyOf: new Map(), // id -> the address it is indexed under
    nics: [],
    languages: ['en'],
    language: 'en',
    theme: 'light',
    version: '',
    protocolState: { available: true, details: '' },
    autoScanner: { isActive: false, lastScanTime: null, scanIntervalMs: 1000 },
    batch: null, // the report of the last job of many changes, or null
    revCounter: 0,
  };
}

/** An empty record of what one batch of documents changed. */
export function createChanges() {
  return {
    full: false,
    added: new Set(),
    removed: new Set(),
    updated: new Map(), // id -> Set of changed keys
    app: new Set(),
    notifications: [],
    removedDevices: [], // copies of removed devices, for messages that name them
  };
}

export function hasDeviceChanges(changes) {
  return changes.full || changes.added.size > 0 || changes.removed.size > 0 || changes.updated.size > 0;
}

const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);

function touch(state, id) {
  state.rev.set(id, ++state.revCounter);
}

function conflictKey(device) {
  if (!device || device.isMissing) return null;
  const n = parseIPv4(device.ip);
  return n === null || n === 0 ? null : String(device.ip).trim();
}

function indexRemove(state, id, key, changes) {
  state.ipKeyOf.delete(id);
  if (key === null) return;
  const set = state.ipIndex.get(key);
  if (!set) return;
  set.delete(id);
  // The partner rows lose or keep their conflict mark: redraw them.
  for (const other of set) markUpdated(state, changes, other, 'conflict');
  if (set.size === 0) state.ipIndex.delete(key);
}

function indexAdd(state, id, key, changes) {
  if (key === null) return;
  state.ipKeyOf.set(id, key);
  let set = state.ipIndex.get(key);
  if (!set) state.ipIndex.set(key, (set = new Set()));
  set.add(id);
  if (set.size > 1) for (const other of set) if (other !== id) markUpdated(state, changes, other, 'conflict');
}

function markUpdated(state, changes, id, key) {
  touch(state, id);
  if (!changes || changes.added.has(id)) return;
  let keys = changes.updated.get(id);
  if (!keys) changes.updated.set(id, (keys = new Set()));
  keys.add(key);
}

/** Ids of the other present devices that use the same address as this one. */
export function conflictPartners(state, id) {
  const key = state.ipKeyOf.get(id);
  if (key === undefined) return [];
  const set = state.ipIndex.get(key);
  return set ? [...set].filter((other) => other !== id) : [];
}

export function hasConflict(state, id) {
  const key = state.ipKeyOf.get(id);
  if (key === undefined) return false;
  const set = state.ipIndex.get(key);
  return Boolean(set && set.size > 1);
}

function putDevice(state, raw, changes, adopt = false) {
  if (!isObject(raw) || typeof raw.id !== 'string') return;
  const id = raw.id;
  const old = state.devices.get(id);
  if (old) indexRemove(state, id, conflictKey(old), changes);
  const device = adopt ? raw : { ...raw };
  device.statusStringDetails = asTextList(raw.statusStringDetails);
  state.devices.set(id, device);
  touch(state, id);
  indexAdd(state, id, conflictKey(device), changes);
  if (changes) {
    changes.removed.delete(id);
    changes.updated.delete(id);
    changes.added.add(id);
  }
}

function asTextList(v) {
  return Array.isArray(v) ? v.map((x) => (x === null || x === undefined ? '' : String(x))) : [];
}

/**
 * Replaces the whole state with a full-state document. With `adopt`, the
 * document's device objects become the state's own instead of copies: for a
 * document parsed for this state alone, which nobody else holds, so that
 * thousands of devices are not copied once more.
 */
export function applyFullState(state, doc, changes = createChanges(), { adopt = false } = {}) {
  if (!isObject(doc)) return changes;
  state.devices.clear();
  state.rev.clear();
  state.ipIndex.clear();
  state.ipKeyOf.clear();
  const list = isObject(doc.devices) && Array.isArray(doc.devices.list) ? doc.devices.list : [];
  for (const raw of list) putDevice(state, raw, null, adopt);
  for (const key of APP_KEYS) if (key in doc) applyAppKey(state, key, doc[key], true);
  // A program without jobs sends no "batch": nothing runs then.
  if (!('batch' in doc)) state.batch = null;
  state.loaded = true;
  changes.full = true;
  for (const key of APP_KEYS) changes.app.add(key);
  changes.added.clear();
  changes.removed.clear();
  changes.updated.clear();
  return changes;
}

function applyAppKey(state, key, value, full = false) {
  switch (key) {
    case 'batch':
      state.batch = mergeBatch(state.batch, value, { full });
      break;
    case 'language':
    case 'theme':
    case 'version':
      state[key] = typeof value === 'string' ? value : value === null ? '' : String(value);
      break;
    case 'languages':
      if (Array.isArray(value)) {
        const codes = value.filter((v) => typeof v === 'string' && v !== '');
        state.languages = codes.length ? codes : ['en'];
      }
      break;
    case 'nics':
      if (Array.isArray(value)) state.nics = value.filter(isObject);
      break;
    case 'protocolState':
      if (isObject(value)) {
        state.protocolState = {
          available: value.available !== false,
          details: typeof value.details === 'string' ? value.details : '',
        };
      }
      break;
    case 'autoScanner':
      // Diffs carry only the keys that changed.
      if (isObject(value)) state.autoScanner = { ...state.autoScanner, ...value };
      break;
    default:
      break;
  }
}

/** Applies one diff document and records what it changed in `changes`. */
export function applyDiff(state, doc, changes = createChanges()) {
  if (!isObject(doc)) return changes;
  for (const key of APP_KEYS) {
    if (key in doc) {
      applyAppKey(state, key, doc[key]);
      changes.app.add(key);
    }
  }
  const devices = doc.devices;
  if (isObject(devices)) {
    // The application builds a diff from one event, but the order below
    // (removed, added, updated) also keeps a device that is removed and
    // added back in one document.
    if (Array.isArray(devices.removed)) {
      for (const entry of devices.removed) {
        if (!isObject(entry) || typeof entry.id !== 'string') continue;
        const old = state.devices.get(entry.id);
        if (!old) continue;
        indexRemove(state, entry.id, conflictKey(old), changes);
        state.devices.delete(entry.id);
        state.rev.delete(entry.id);
        changes.removedDevices.push(old);
        changes.added.delete(entry.id);
        changes.updated.delete(entry.id);
        changes.removed.add(entry.id);
      }
    }
    if (Array.isArray(devices.added)) for (const raw of devices.added) putDevice(state, raw, changes);
    if (Array.isArray(devices.updated)) {
      for (const entry of devices.updated) {
        if (!isObject(entry) || typeof entry.id !== 'string') continue;
        const device = state.devices.get(entry.id);
        if (!device) continue;
        const oldKey = conflictKey(device);
        for (const [key, value] of Object.entries(entry)) {
          if (key === 'id') continue;
          device[key] = key === 'statusStringDetails' ? asTextList(value) : value;
          markUpdated(state, changes, entry.id, key);
        }
        const newKey = conflictKey(device);
        if (oldKey !== newKey) {
          indexRemove(state, entry.id, oldKey, changes);
          indexAdd(state, entry.id, newKey, changes);
        }
      }
    }
  }
  if (Array.isArray(doc.notifications)) {
    for (const n of doc.notifications) {
      if (isObject(n) && typeof n.message === 'string') {
        changes.notifications.push({
          message: n.message,
          creationTime: typeof n.creationTime === 'string' ? n.creationTime : null,
          // The device a request's outcome belongs to; older programs leave it out.
          deviceId: typeof n.deviceId === 'string' && n.deviceId ? n.deviceId : null,
        });
      }
    }
  }
  return changes;
}

/**
 * Sorts an incoming text frame: the full state, a diff, the answer to one of
 * our requests, or the closing notice.
 */
export function classifyFrame(text) {
  if (text === 'SessionClosing') return { kind: 'closing' };
  let doc;
  try {
    doc = JSON.parse(text);
  } catch {
    return { kind: 'invalid' };
  }
  if (!isObject(doc)) return { kind: 'invalid' };
  if (typeof doc.status === 'string' && !('devices' in doc)) return { kind: 'answer', doc };
  // Only the full-state document carries the device list; diffs carry added/removed/updated.
  if (isObject(doc.devices) && Array.isArray(doc.devices.list)) return { kind: 'full', doc };
  return { kind: 'diff', doc };
}

/** The phase of a configuration change, for badges and the details panel. */
export function changePhase(device) {
  if (!device) return 'idle';
  if (device.isRebooting) return 'rebooting';
  if (device.isProcessing) return 'processing';
  if (device.shouldProcess) return 'pending';
  return 'idle';
}

/** The card a device was seen on, found by the card address in its record. */
export function nicOfDevice(state, device) {
  if (!device || !device.ipOfAssociatedNic) return null;
  for (const nic of state.nics) {
    if (Array.isArray(nic.addresses) && nic.addresses.some((a) => a && a.ip === device.ipOfAssociatedNic)) return nic;
  }
  return null;
}
