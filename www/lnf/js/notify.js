// The texts the application posts as notifications, their translation keys
// and how loud they are. Texts outside this table are shown as they are.

export const MESSAGES = new Map([
  ['LocalizingSuccess', { key: 'msg.localizingSuccess', level: 'success', kind: 'localize' }],
  ['LocalizingError', { key: 'msg.localizingError', level: 'error', kind: 'localize' }],
  ['Localize is not supported', { key: 'msg.localizeNotSupported', level: 'error', kind: 'localize' }],
  ['DeviceNoLongerAvailable', { key: 'msg.deviceNoLongerAvailable', level: 'warning', kind: 'presence' }],
  ['DeviceSetToFavorites', { key: 'msg.deviceSetToFavorites', level: 'info', kind: 'favorite' }],
  ['DeviceRemovedFromFavorites', { key: 'msg.deviceRemovedFromFavorites', level: 'info', kind: 'favorite' }],
  ['Configuration changed successfully', { key: 'msg.configurationChanged', level: 'success', kind: 'change' }],
  ['Configuration request operation timeout', { key: 'msg.configurationTimeout', level: 'error', kind: 'change' }],
  ['No answer from the device', { key: 'msg.noAnswer', level: 'error', kind: 'either' }],
  ['Error while processing the command. Please retry', { key: 'msg.commandError', level: 'error', kind: 'change' }],
  ['Error while changing the network settings. Please retry', { key: 'msg.networkSettingsError', level: 'error', kind: 'change' }],
  ['Error while changing the device name. Please retry', { key: 'msg.deviceNameError', level: 'error', kind: 'change' }],
  ['Error changing network settings. Reserved IP. Please try again with another one.', { key: 'msg.reservedIp', level: 'error', kind: 'change' }],
  ['Device is busy. Please retry', { key: 'msg.deviceBusy', level: 'error', kind: 'either' }],
  ['Not authorized', { key: 'msg.notAuthorized', level: 'error', kind: 'either' }],
  ['Invalid rights', { key: 'msg.invalidRights', level: 'error', kind: 'either' }],
  ['Unexpected operation result occured', { key: 'msg.unexpectedResult', level: 'error', kind: 'either' }],
  ['Settings could not be saved', { key: 'msg.settingsNotSaved', level: 'error', kind: 'other' }],
  ['Too many devices answered. Further devices are not shown', { key: 'msg.deviceLimit', level: 'warning', kind: 'other' }],
  ['The network card the device was found on is no longer available', { key: 'msg.deviceCardGone', level: 'error', kind: 'either' }],
  // The application appends this to a missing favourite's status lines, and
  // refuses a change of such a device with it.
  ['Device is not available', { key: 'msg.deviceNotAvailable', level: 'warning', kind: 'change' }],
  // Changes the application refused before sending them; `field` is the form
  // field the refusal is shown at.
  ['Invalid address', { key: 'msg.invalidAddress', level: 'error', kind: 'change', field: 'ip' }],
  ['Address in use', { key: 'msg.addressInUse', level: 'error', kind: 'change', field: 'ip' }],
  ['Another batch is running', { key: 'msg.batchRunning', level: 'warning', kind: 'other' }],
]);

// Texts that go on with a value: the entry's `param` names it for the translation.
export const PREFIXED = new Map([['Address in use by ', { key: 'msg.addressInUseBy', level: 'error', kind: 'change', field: 'ip', param: 'id' }]]);

function lookUp(text) {
  const entry = MESSAGES.get(text);
  if (entry) return { entry, params: undefined };
  if (typeof text !== 'string') return null;
  for (const [prefix, e] of PREFIXED) {
    if (text.startsWith(prefix) && text.length > prefix.length) return { entry: e, params: { [e.param]: text.slice(prefix.length) } };
  }
  return null;
}

/** The catalogue entry of a notification text, or a plain entry for an unknown text. */
export function describeMessage(text) {
  const found = lookUp(text);
  return found ? found.entry : { key: null, level: 'info', kind: 'other' };
}

/** Translates an application text; unknown texts come back unchanged. */
export function translateMessage(text, t) {
  const found = lookUp(text);
  return found ? t(found.entry.key, found.params) : text;
}

/** A refused change's text as { field, key, params } for its form field; null for any other text. */
export function refusalOf(text) {
  const found = lookUp(text);
  return found && found.entry.field ? { field: found.entry.field, key: found.entry.key, params: found.params } : null;
}

/**
 * Notifications name no device. The tracker remembers which of this
 * browser's own requests are waiting for an outcome, so that an outcome can
 * be shown with the device it most likely belongs to. Only an unambiguous
 * match names a device; anything else stays unnamed.
 */
export class OutcomeTracker {
  constructor({ now = () => Date.now() } = {}) {
    this.now = now;
    this.waiting = []; // { kind, deviceId, name, at, ttl }
    this.gone = []; // { deviceId, name, at } devices that left or went missing lately
  }

  expect(kind, deviceId, name, ttlMs) {
    this.prune();
    this.waiting.push({ kind, deviceId, name, at: this.now(), ttl: ttlMs });
  }

  deviceLeft(deviceId, name) {
    this.prune();
    this.gone.push({ deviceId, name, at: this.now() });
  }

  prune() {
    const t = this.now();
    this.waiting = this.waiting.filter((w) => t - w.at <= w.ttl);
    this.gone = this.gone.filter((g) => t - g.at <= 5000);
  }

  /** Returns { deviceId, name } for the notification text, or null. */
  resolve(text) {
    this.prune();
    const { kind } = describeMessage(text);
    if (kind === 'presence') {
      const g = this.gone.shift();
      return g ? { deviceId: g.deviceId, name: g.name } : null;
    }
    if (!['localize', 'change', 'favorite', 'either'].includes(kind)) return null;
    const wanted = kind === 'either' ? ['localize', 'change'] : [kind];
    const candidates = this.waiting.filter((w) => wanted.includes(w.kind));
    if (candidates.length === 0) return null;
    const first = candidates[0];
    this.waiting.splice(this.waiting.indexOf(first), 1);
    // Two different devices waiting for the same kind of outcome: the
    // oldest is most likely, but naming it could mislead.
    const ambiguous = candidates.some((c) => c !== first && c.deviceId !== first.deviceId);
    return ambiguous ? null : { deviceId: first.deviceId, name: first.name };
  }

  /**
   * For a notification that names its device: forgets the oldest of this
   * page's requests to that device the text can be the outcome of, and
   * returns the name the device had when it was asked (null if this page
   * did not ask), for a device that has left the list since.
   */
  resolveFor(text, deviceId) {
    this.prune();
    const { kind } = describeMessage(text);
    const wanted = kind === 'either' ? ['localize', 'change'] : [kind];
    const i = this.waiting.findIndex((w) => w.deviceId === deviceId && wanted.includes(w.kind));
    if (i < 0) return null;
    const [entry] = this.waiting.splice(i, 1);
    return entry.name;
  }

  /** Forgets a change once the device reports it is processing no more. */
  settle(kind, deviceId) {
    this.waiting = this.waiting.filter((w) => !(w.kind === kind && w.deviceId === deviceId));
  }
}

/**
 * Folds a batch of notifications so that a burst of identical texts (many
 * devices leaving at once) becomes one message with a count.
 */
export function foldNotifications(list) {
  const out = [];
  const byText = new Map();
  for (const n of list) {
    const existing = byText.get(n.message);
    if (existing && !existing.device && !n.device) {
      existing.count += 1;
      continue;
    }
    const item = { ...n, count: 1 };
    if (!n.device) byText.set(n.message, item);
    out.push(item);
  }
  return out;
}
