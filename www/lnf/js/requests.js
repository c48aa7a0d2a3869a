// The requests the application accepts, and the bookkeeping of those
// still waiting for an answer. Every key is required by the application and
// every value except "isFavorite" must be a string, so the builders always
// fill every key.

let counter = 0;
const session = Math.random().toString(36).slice(2, 8);

export function nextRequestId() {
  counter += 1;
  return `${session}-${counter}`;
}

const text = (v) => (v === null || v === undefined ? '' : String(v));

export function changeDevice({ deviceId, name, ip, subnetMask, defaultGateway, networkMethod, username, password }, reqId = nextRequestId()) {
  // "Unknown" is only sent back for a device that reports no method, so a
  // rename does not change how it gets its address.
  if (networkMethod !== 'DHCP' && networkMethod !== 'PersistentIP' && networkMethod !== 'Unknown') {
    throw new Error('networkMethod must be DHCP, PersistentIP or Unknown');
  }
  return {
    reqType: 'ChangeDevice',
    reqId,
    deviceId: text(deviceId),
    name: text(name),
    ip: text(ip),
    subnetMask: text(subnetMask),
    networkMethod,
    defaultGateway: text(defaultGateway),
    username: text(username),
    password: text(password),
  };
}

/** The keys of one change request that describe the device's part of a job. */
const JOB_ITEM_KEYS = ['deviceId', 'name', 'ip', 'subnetMask', 'networkMethod', 'defaultGateway'];

/**
 * Many changes as one job, with one login for all. Each item is checked and
 * written as a single change would be, so the two cannot drift apart.
 */
export function changeDevices(items, username, password, reqId = nextRequestId()) {
  const devices = items.map((item) => {
    const one = changeDevice({ ...item, username: '', password: '' }, reqId);
    return Object.fromEntries(JOB_ITEM_KEYS.map((k) => [k, one[k]]));
  });
  return { reqType: 'ChangeDevices', reqId, username: text(username), password: text(password), devices };
}

export function cancelBatch(reqId = nextRequestId()) {
  return { reqType: 'CancelBatch', reqId };
}

export function setFavorite(deviceId, isFavorite, reqId = nextRequestId()) {
  return { reqType: 'SetFavorite', reqId, deviceId: text(deviceId), isFavorite: Boolean(isFavorite) };
}

export function setLanguage(language, reqId = nextRequestId()) {
  return { reqType: 'SetLanguage', reqId, language: text(language) };
}

export function setTheme(theme, reqId = nextRequestId()) {
  return { reqType: 'SetTheme', reqId, theme: text(theme) };
}

export function localize(deviceId, username, password, reqId = nextRequestId()) {
  return { reqType: 'Localize', reqId, deviceId: text(deviceId), username: text(username), password: text(password) };
}

/**
 * The requests this page sent that wait for their answer. The program
 * answers only the requests it accepts, so one unanswered after `timeoutMs`
 * counts as refused.
 */
export class RequestTracker {
  constructor({ transmit, timeoutMs, onNotSent, onRejected, onUnanswered, timers = { set: (fn, ms) => setTimeout(fn, ms), clear: (id) => clearTimeout(id) } }) {
    this.transmit = transmit;
    this.timeoutMs = timeoutMs;
    this.onNotSent = onNotSent;
    this.onRejected = onRejected;
    this.onUnanswered = onUnanswered;
    this.timers = timers;
    this.pending = new Map(); // reqId -> { timer, onOk, onFail, label }
  }

  get size() {
    return this.pending.size;
  }

  /** Sends `req`; false when it could not go out (`onFail` has run then). */
  send(req, { label = req.reqType, onOk, onFail } = {}) {
    if (!this.transmit(req)) {
      this.onNotSent();
      onFail?.();
      return false;
    }
    const timer = this.timers.set(() => {
      this.pending.delete(req.reqId);
      this.onUnanswered(label);
      onFail?.();
    }, this.timeoutMs);
    this.pending.set(req.reqId, { timer, onOk, onFail, label });
    return true;
  }

  /** Settles the request an answer document names; answers to no request of ours are ignored. */
  answer(doc) {
    const pending = this.pending.get(doc.reqId);
    if (!pending) return;
    this.pending.delete(doc.reqId);
    this.timers.clear(pending.timer);
    if (doc.status === 'OK') pending.onOk?.();
    else {
      this.onRejected(pending.label);
      pending.onFail?.();
    }
  }

  /** The socket closed: no answer can come any more, and nobody is told. */
  abandonAll() {
    for (const p of this.pending.values()) this.timers.clear(p.timer);
    this.pending.clear();
  }
}
