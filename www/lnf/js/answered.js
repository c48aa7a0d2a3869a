// When each device last answered, as far as this page can tell. The program
// refreshes a device's `lastSeen` on every answer but sends no change for
// it, so the value is right only at the moment the full state was sent (or
// the device was added). A device stays present only while it answers: it
// is marked missing, restarting or removed after DISCONNECT_MS of silence.
// So while it is present its last answer is the latest scan (to within
// that window), and once it falls silent its last answer lies before the
// scan that was current DISCONNECT_MS before the mark.

const DISCONNECT_MS = 3000;
// Keys the program changes only when it copies a device's answer in; a
// change of one of them shows that the device answered. Flags that follow
// a timeout or a probe (isRebooting, isProcessing, isAccessible) do not.
const ANSWER_KEYS = new Set([
  'name',
  'type',
  'url',
  'hwVersion',
  'fwVersion',
  'manufactureDate',
  'manufacturer',
  'deviceState',
  'statusStringDetails',
  'ipOfAssociatedNic',
  'ip',
  'mac',
  'defaultGateway',
  'subnetMask',
  'networkMethod',
  'supportsDHCP',
  'supportsPersistentIP',
  'supportsLocalize',
  'isAuthentication',
]);
const KEPT_SCANS = 8;

const ms = (iso) => {
  const v = Date.parse(iso || '');
  return Number.isNaN(v) ? null : v;
};

export class AnswerClock {
  constructor() {
    this.scans = []; // recent scan times in ms, oldest first
    this.known = new Map(); // id -> ms of an answer the program reported
    this.silentSince = new Map(); // id -> ms of the last answer of a silent device, or null
  }

  /** A full state: each device's `lastSeen` is right for this moment. */
  reset(state) {
    this.scans = [];
    this.known.clear();
    this.silentSince.clear();
    for (const [id, d] of state.devices) this.added(id, d);
    this.scan(state.autoScanner && state.autoScanner.lastScanTime);
  }

  /** A device object arrived whole (full state or added). */
  added(id, device) {
    const seen = ms(device.lastSeen);
    if (seen === null) this.known.delete(id);
    else this.known.set(id, seen);
    // A missing favourite that never answered in this run keeps null: unknown.
    if (device.isMissing) this.silentSince.set(id, seen);
    else this.silentSince.delete(id);
  }

  scan(iso) {
    const at = ms(iso);
    if (at === null) return;
    if (this.scans.length && this.scans[this.scans.length - 1] >= at) return;
    this.scans.push(at);
    if (this.scans.length > KEPT_SCANS) this.scans.shift();
  }

  latestScan() {
    return this.scans.length ? this.scans[this.scans.length - 1] : null;
  }

  /** The device was marked silent (missing, restarting, removed) just now. */
  silenced(id) {
    if (this.silentSince.has(id)) return;
    const latest = this.latestScan();
    let at = this.known.get(id) ?? null;
    if (latest !== null) {
      const bound = latest - DISCONNECT_MS;
      let scan = null;
      for (const s of this.scans) if (s <= bound) scan = s;
      if (scan === null) scan = bound;
      if (at === null || scan > at) at = scan;
    }
    if (at !== null) this.silentSince.set(id, at);
  }

  /** Changed keys of a device (of one diff batch), with the device as it is now. */
  changed(id, keys, device) {
    if (device.isMissing || device.isRebooting) {
      if (keys.has('isMissing') || keys.has('isRebooting')) this.silenced(id);
      return;
    }
    if (keys.has('isMissing')) this.answered(id);
    else for (const k of keys) if (ANSWER_KEYS.has(k)) return this.answered(id);
  }

  /** The device answers again. */
  answered(id) {
    // From here on the scans tell; `known` stays what the program reported.
    this.silentSince.delete(id);
  }

  forget(id) {
    this.known.delete(id);
    this.silentSince.delete(id);
  }

  /** ms of the device's last answer, or null when unknown. */
  lastAnswered(id) {
    if (this.silentSince.has(id)) return this.silentSince.get(id);
    const known = this.known.get(id) ?? null;
    const latest = this.latestScan();
    if (latest === null) return known;
    return known !== null && known > latest ? known : latest;
  }
}
