// Rows of devices that left. A device that is silent for a few seconds is
// removed by the program and often answers again moments later; dropping
// its row at once shifts every row below it under the user's pointer. The
// page keeps the row in place, dimmed, for GONE_HOLD_MS, then lets it go.
// The state documents are untouched: this is the page's own memory.

export const GONE_HOLD_MS = 30000;

export class GoneRows {
  constructor({ now = () => Date.now(), holdMs = GONE_HOLD_MS } = {}) {
    this.now = now;
    this.holdMs = holdMs;
    this.rows = new Map(); // id -> { device, since }, oldest first
  }

  get size() {
    return this.rows.size;
  }

  has(id) {
    return this.rows.has(id);
  }

  get(id) {
    const entry = this.rows.get(id);
    return entry ? entry.device : undefined;
  }

  /** Keeps a copy of a device that left. */
  keep(device) {
    this.rows.delete(device.id);
    this.rows.set(device.id, { device: { ...device }, since: this.now() });
  }

  /** The device is back: forget its row. True when it had one. */
  back(id) {
    return this.rows.delete(id);
  }

  /** Ids whose time is up, removed from the kept rows. */
  expire() {
    const limit = this.now() - this.holdMs;
    const out = [];
    // Kept in order of leaving, so the first young one ends the walk.
    for (const [id, entry] of this.rows) {
      if (entry.since > limit) break;
      out.push(id);
    }
    for (const id of out) this.rows.delete(id);
    return out;
  }

  /** ms until the next row's time is up, or null with none kept. */
  nextExpiry() {
    for (const entry of this.rows.values()) return Math.max(0, entry.since + this.holdMs - this.now());
    return null;
  }

  clear() {
    this.rows.clear();
  }

  entries() {
    return this.rows.entries();
  }
}
