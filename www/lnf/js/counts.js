// How many devices each quick filter would show. Kept per device, so a
// batch of changes recounts only the devices it touched, not thousands.

import { FILTERS, matchesFilter } from './view.js';

export class FilterCounts {
  constructor() {
    this.masks = new Map(); // id -> bit i set when FILTERS[i] holds
    this.totals = new Array(FILTERS.length).fill(0);
  }

  /** The counts of a batch's devices, or of all after a full state. */
  update(state, changes) {
    if (changes.full) {
      this.masks.clear();
      this.totals.fill(0);
      for (const [id, d] of state.devices) this.put(id, this.maskOf(state, id, d));
      return;
    }
    for (const id of changes.removed) this.put(id, 0);
    for (const id of changes.added) this.recount(state, id);
    for (const id of changes.updated.keys()) this.recount(state, id);
  }

  /** The count of one filter's name. */
  get(filter) {
    const i = FILTERS.indexOf(filter);
    return i < 0 ? 0 : this.totals[i];
  }

  recount(state, id) {
    const d = state.devices.get(id);
    this.put(id, d ? this.maskOf(state, id, d) : 0);
  }

  maskOf(state, id, d) {
    let mask = 0;
    for (let i = 0; i < FILTERS.length; i++) if (matchesFilter(state, id, d, FILTERS[i])) mask |= 1 << i;
    return mask;
  }

  put(id, mask) {
    const old = this.masks.get(id) || 0;
    if (old === mask) {
      if (!mask) this.masks.delete(id);
      return;
    }
    for (let i = 0; i < FILTERS.length; i++) this.totals[i] += ((mask >> i) & 1) - ((old >> i) & 1);
    if (mask) this.masks.set(id, mask);
    else this.masks.delete(id);
  }
}
