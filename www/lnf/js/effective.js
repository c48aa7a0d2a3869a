// The one state a row and the panel lead with. The program reports the
// device's own state ("ACTIVE", …) beside flags that can contradict it: a
// favourite that no longer answers keeps its last "ACTIVE", and so does a
// device that is restarting. What the user must act on comes first; the
// device's own report is shown beside it, never instead of it.

import { changePhase } from './state.js';

const OWN = new Set(['ACTIVE', 'WARNING', 'ERROR', 'LOCALIZE', 'UNKNOWN']);

// key: also the dot's class; label: translation key; tone: the colour family.
const PAGE_STATES = {
  gone: { label: 'effective.gone', tone: 'muted' },
  missing: { label: 'badge.missing', tone: 'muted' },
  rebooting: { label: 'badge.rebooting', tone: 'busy' },
  processing: { label: 'badge.processing', tone: 'busy' },
  pending: { label: 'badge.pending', tone: 'busy' },
  unreachable: { label: 'badge.unreachable', tone: 'warn' },
};

export function ownStateKey(deviceState) {
  return OWN.has(deviceState) ? deviceState : 'UNKNOWN';
}

/**
 * { key, label, own }: the state to show first and, when that is not the
 * device's own report, the own state's key to show beside it (null when the
 * two are the same). `gone` is true for a row kept after the device left.
 */
export function effectiveState(device, { gone = false } = {}) {
  const own = ownStateKey(device && device.deviceState);
  let key = null;
  if (gone) key = 'gone';
  else if (device.isMissing) key = 'missing';
  else {
    const phase = changePhase(device);
    if (phase !== 'idle') key = phase;
    else if (device.isAccessible === false) key = 'unreachable';
  }
  if (key === null) return { key: own, label: `state.${own}`, own: null };
  return { key, label: PAGE_STATES[key].label, own };
}

/** Badges that repeat the effective state are left out where it is shown. */
export function withoutEffective(badges, effective) {
  return badges.filter((b) => b.cls !== effective.key);
}

/**
 * The device's info lines without those that only repeat a state already
 * shown (a localizing device also says "Localizing" in its lines).
 */
export function extraLines(lines, shownLabels) {
  const shown = new Set(shownLabels.map((s) => String(s).trim().toLowerCase()));
  return lines.filter((line) => !shown.has(String(line).trim().toLowerCase()));
}
