// How devices are shown: labels, badges, the safe web address. No DOM here.

import { changePhase, hasConflict } from './state.js';

const STATES = new Set(['ACTIVE', 'WARNING', 'ERROR', 'LOCALIZE', 'UNKNOWN']);

export function stateKey(deviceState) {
  return STATES.has(deviceState) ? deviceState : 'UNKNOWN';
}

export function stateLabel(deviceState, t) {
  return t(`state.${stateKey(deviceState)}`);
}

export function methodLabel(method, t) {
  if (method === 'DHCP') return t('method.dhcp');
  if (method === 'PersistentIP') return t('method.fixed');
  return t('method.unknown');
}

export function displayName(device, t) {
  const name = device && typeof device.name === 'string' ? device.name.trim() : '';
  return name || t('device.unnamed');
}

/** A label that tells devices apart also when they have no name: type and serial number. */
export function deviceLabel(device, t) {
  const name = device && typeof device.name === 'string' ? device.name.trim() : '';
  if (name) return name;
  const parts = [device && device.type, device && device.serialNumber].filter((p) => typeof p === 'string' && p.trim());
  return parts.length ? `${t('device.unnamed')} · ${parts.join(' · ')}` : t('device.unnamed');
}

/**
 * Badges of a device, most important first. `sending` is true while a change
 * request of this browser awaits the application's answer.
 */
export function badgesOf(state, id, device, { sending = false, includeFavorite = false } = {}) {
  const out = [];
  const phase = changePhase(device);
  if (sending && phase === 'idle') out.push({ cls: 'sending', key: 'badge.sending', title: 'badge.sendingTitle' });
  if (phase === 'pending') out.push({ cls: 'pending', key: 'badge.pending', title: 'badge.pendingTitle' });
  if (phase === 'processing') out.push({ cls: 'processing', key: 'badge.processing', title: 'badge.processingTitle' });
  if (phase === 'rebooting') out.push({ cls: 'rebooting', key: 'badge.rebooting', title: 'badge.rebootingTitle' });
  if (device.isMissing) out.push({ cls: 'missing', key: 'badge.missing', title: 'badge.missingTitle' });
  else if (device.isAccessible === false) out.push({ cls: 'unreachable', key: 'badge.unreachable', title: 'badge.unreachableTitle' });
  if (hasConflict(state, id)) out.push({ cls: 'conflict', key: 'badge.conflict', title: 'badge.conflictTitle' });
  if (device.isAuthentication) out.push({ cls: 'auth', key: 'badge.auth', title: 'badge.authTitle', icon: 'lock' });
  if (includeFavorite && device.isFavorite) out.push({ cls: 'favorite', key: 'badge.favorite', title: 'badge.favoriteTitle', icon: 'star-fill' });
  return out;
}

/** The device's own web address when it is plain http(s); null otherwise. */
export function safeWebUrl(url) {
  if (typeof url !== 'string' || url.trim() === '') return null;
  let parsed;
  try {
    parsed = new URL(url.trim());
  } catch {
    return null;
  }
  if (parsed.protocol !== 'http:' && parsed.protocol !== 'https:') return null;
  if (parsed.username || parsed.password) return null;
  return parsed.href;
}

export function formatDateTime(iso, locale) {
  if (!iso) return '';
  const d = new Date(iso);
  if (Number.isNaN(d.getTime())) return String(iso);
  try {
    return new Intl.DateTimeFormat(locale, { dateStyle: 'medium', timeStyle: 'medium' }).format(d);
  } catch {
    return d.toLocaleString();
  }
}

export function formatTime(iso, locale) {
  if (!iso) return '';
  const d = new Date(iso);
  if (Number.isNaN(d.getTime())) return '';
  try {
    return new Intl.DateTimeFormat(locale, { timeStyle: 'medium' }).format(d);
  } catch {
    return d.toLocaleTimeString();
  }
}
