// Planning a job of many changes: addresses handed out from a start
// address, names from a pattern, and the checks the page can make before
// the program makes its own. No DOM here.

import { parseIPv4, formatIPv4, isContiguousMask, prefixLength, networkOf, validateAddressSettings } from './ipv4.js';
import { asDotted, formValuesOf } from './changeform.js';
import { changePhase } from './state.js';

const NAME_MAX = 128;

/** The method every device gets; KEEP leaves each with its own. */
export const KEEP = 'keep';

/**
 * Hands out one address per id, counting up from `start` inside the subnet
 * of `start` and `subnetMask`. Skipped: the network and broadcast address,
 * the gateway, `reserved` (numbers: the PC's cards) and addresses `usedBy`
 * (number -> id) another device than the one being given it. A range that
 * reaches the broadcast address ends there: the devices left over get no
 * address and the problem "rangeEnd", never an address from the start of
 * the subnet again.
 * Returns { error: key|null, items: [{ id, ip: text|null, problem: key|null }] }.
 */
export function assignAddresses(ids, { start, subnetMask, defaultGateway = '', usedBy = new Map(), reserved = new Set() }) {
  const first = parseIPv4(start);
  const mask = parseIPv4(subnetMask);
  const none = (problem) => ({ error: problem, items: ids.map((id) => ({ id, ip: null, problem })) });
  if (mask === null || mask === 0 || !isContiguousMask(mask)) return none('batch.problem.mask');
  if (first === null) return none('batch.problem.start');
  const net = networkOf(first, mask);
  const broadcast = (net | ~mask) >>> 0;
  // A /31 or /32 has no network and broadcast address to spare.
  const edges = prefixLength(mask) <= 30;
  const low = edges ? net + 1 : net;
  const high = edges ? broadcast - 1 : broadcast;
  if (first < low || first > high) return none('batch.problem.start');
  const gateway = parseIPv4(defaultGateway);
  let next = first;
  const items = [];
  for (const id of ids) {
    while (next <= high && (next === gateway || reserved.has(next) || (usedBy.has(next) && usedBy.get(next) !== id))) next += 1;
    if (next > high) items.push({ id, ip: null, problem: 'batch.problem.rangeEnd' });
    else items.push({ id, ip: formatIPv4(next++), problem: null });
  }
  return { error: null, items };
}

/**
 * A name from a pattern: {n} is the counter (zero-padded to `pad` digits),
 * {serial}, {article}, {type} and {name} the device's serial number,
 * article number, type and current name. Other braces stay as written.
 */
export function expandName(pattern, device, n, { pad = 0 } = {}) {
  const text = (v) => (v === null || v === undefined ? '' : String(v));
  const fields = { serial: device.serialNumber, article: device.articleNumber, type: device.type, name: device.name };
  return String(pattern).replace(/\{(n|serial|article|type|name)\}/g, (_, key) => {
    if (key === 'n') return String(n).padStart(Math.max(0, Math.min(Number(pad) || 0, 12)), '0');
    return text(fields[key]);
  });
}

/** The PC's own addresses, which no device may take. */
export function cardAddresses(nics) {
  const out = new Set();
  for (const nic of nics || []) {
    for (const a of Array.isArray(nic.addresses) ? nic.addresses : []) {
      const n = parseIPv4(a && a.ip);
      if (n !== null) out.add(n);
    }
  }
  return out;
}

/** Address -> id of the present devices of the list. */
export function addressOwners(devices) {
  const owners = new Map();
  for (const d of devices) {
    if (d.isMissing) continue;
    const n = parseIPv4(d.ip);
    if (n !== null && n !== 0 && !owners.has(n)) owners.set(n, d.id);
  }
  return owners;
}

/**
 * The planned settings of the selected devices, in the order given.
 * `settings`: { method (KEEP, "DHCP", "PersistentIP"), start, subnetMask,
 * defaultGateway, namePattern, nameStart, namePad }; empty texts keep each
 * device's own value. Addresses are handed out only for a fixed address.
 * Returns [{ id, device, current, planned, problems: [] }].
 */
export function planFromSettings(devices, settings, { listed = devices, nics = [] } = {}) {
  const s = { method: KEEP, start: '', subnetMask: '', defaultGateway: '', namePattern: '', nameStart: 1, namePad: 0, ...settings };
  const items = devices.map((device) => {
    const current = formValuesOf(device);
    const planned = { ...current };
    if (s.method !== KEEP) planned.method = s.method;
    if (planned.method === 'PersistentIP') {
      if (s.subnetMask.trim()) planned.subnetMask = s.subnetMask.trim();
      if (s.defaultGateway.trim()) planned.defaultGateway = s.defaultGateway.trim();
    }
    return { id: device.id, device, current, planned, problems: [] };
  });
  const counted = Number.isFinite(Number(s.nameStart)) ? Math.trunc(Number(s.nameStart)) : 1;
  if (s.namePattern) items.forEach((item, i) => (item.planned.name = expandName(s.namePattern, item.device, counted + i, { pad: s.namePad })));
  if (s.start.trim()) {
    const fixed = items.filter((item) => item.planned.method === 'PersistentIP');
    const mask = s.subnetMask.trim() || (fixed[0] ? fixed[0].planned.subnetMask : '');
    const { items: given } = assignAddresses(
      fixed.map((item) => item.id),
      { start: s.start.trim(), subnetMask: mask, defaultGateway: s.defaultGateway.trim(), usedBy: addressOwners(listed), reserved: cardAddresses(nics) },
    );
    given.forEach((g, i) => {
      const item = fixed[i];
      if (g.ip) item.planned.ip = g.ip;
      else item.problems.push({ key: g.problem });
    });
  }
  return items;
}

/**
 * The checks the page can make before sending: invalid settings, an
 * address a listed device outside the job uses (or one in the job that
 * changes only later), the PC's own address, an address planned twice, an
 * overlong name. Adds to each item's `problems` and returns the items.
 * `label(device)` names a device in a problem.
 */
export function checkPlan(items, { listed = [], nics = [], label = (d) => d.name || d.id, username = null } = {}) {
  const order = new Map(items.map((item, i) => [item.id, i]));
  const owners = addressOwners(listed);
  const byId = new Map(listed.map((d) => [d.id, d]));
  const cards = cardAddresses(nics);
  const planned = new Map(); // address -> ids planned for it
  for (const item of items) {
    if (item.planned.method !== 'PersistentIP') continue;
    const n = parseIPv4(item.planned.ip);
    if (n === null) continue;
    if (!planned.has(n)) planned.set(n, []);
    planned.get(n).push(item.id);
  }
  for (const [i, item] of items.entries()) {
    const p = item.planned;
    const d = item.device;
    // What locks the change form of one device keeps it out of a job too.
    if (d.isMissing) item.problems.push({ key: 'batch.problem.missing' });
    else if (changePhase(d) !== 'idle') item.problems.push({ key: 'batch.problem.busy' });
    if (p.method !== item.current.method && p.method === 'DHCP' && !d.supportsDHCP) item.problems.push({ key: 'batch.problem.noDhcp' });
    if (p.method !== item.current.method && p.method === 'PersistentIP' && !d.supportsPersistentIP) item.problems.push({ key: 'batch.problem.noFixed' });
    if (username !== null && d.isAuthentication && String(username).trim() === '') item.problems.push({ key: 'batch.problem.login' });
    if (p.name.length > NAME_MAX) item.problems.push({ key: 'batch.problem.nameTooLong' });
    if (p.method !== 'PersistentIP' || item.problems.some((x) => x.key === 'batch.problem.rangeEnd')) continue;
    const errors = validateAddressSettings(p);
    const fields = Object.keys(errors);
    if (fields.length) {
      item.problems.push({ key: 'batch.problem.invalid', detail: errors[fields[0]] });
      continue;
    }
    const n = parseIPv4(p.ip);
    if (cards.has(n)) item.problems.push({ key: 'batch.problem.pc' });
    const owner = owners.get(n);
    if (owner !== undefined && owner !== item.id) {
      const j = order.get(owner);
      const other = j === undefined ? null : items[j];
      // An owner in the job that keeps the address is told as planned
      // twice; one that moves away frees it only once its own change is
      // through, so only when it comes first.
      const keeps = other !== null && other.planned.method === 'PersistentIP' && other.planned.ip === p.ip;
      const movesFirst = other !== null && !keeps && j < i;
      if (!keeps && !movesFirst) item.problems.push({ key: 'batch.problem.inUse', params: { name: label(byId.get(owner)) } });
    }
    if (planned.get(n).length > 1) item.problems.push({ key: 'batch.problem.twice' });
  }
  return items;
}

/** Whether the item changes anything of its device. */
export function itemChanges(item) {
  const { current: c, planned: p } = item;
  if (p.name !== c.name || p.method !== c.method) return true;
  return p.method === 'PersistentIP' && (p.ip !== c.ip || p.subnetMask !== c.subnetMask || p.defaultGateway !== c.defaultGateway);
}

/**
 * One device's part of the job, with the keys of a change request. As in a
 * single change, a device that does not get a fixed address is sent its
 * current addresses as dotted texts.
 */
export function jobItem(item) {
  const { planned: p, device } = item;
  const fixed = p.method === 'PersistentIP';
  return {
    deviceId: item.id,
    name: p.name,
    ip: fixed ? p.ip : asDotted(device.ip),
    subnetMask: fixed ? p.subnetMask : asDotted(device.subnetMask),
    networkMethod: p.method,
    defaultGateway: fixed ? p.defaultGateway : asDotted(device.defaultGateway),
  };
}
