// The page's copy of the program's report of a job of many changes: read
// from the full state, merged from each diff, counted, exported. No DOM
// here.

import { csvCell, csvSeparator } from './exporter.js';

export const ITEM_STATUSES = ['pending', 'sent', 'processing', 'rebooting', 'done', 'failed', 'cancelled'];
export const JOB_STATES = ['running', 'done', 'cancelled'];
const FINISHED = new Set(['done', 'failed', 'cancelled']);

const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);
const textOr = (v, fallback) => (typeof v === 'string' ? v : fallback);

function readItem(raw, old = {}) {
  const status = ITEM_STATUSES.includes(raw.status) ? raw.status : old.status || 'pending';
  return { deviceId: raw.deviceId, status, message: textOr(raw.message, old.message || '') };
}

function readJob(raw) {
  const items = [];
  const seen = new Set();
  for (const it of Array.isArray(raw.items) ? raw.items : []) {
    if (!isObject(it) || typeof it.deviceId !== 'string' || seen.has(it.deviceId)) continue;
    seen.add(it.deviceId);
    items.push(readItem(it));
  }
  return {
    state: JOB_STATES.includes(raw.state) ? raw.state : 'running',
    startedTime: textOr(raw.startedTime, null),
    finishedTime: textOr(raw.finishedTime, null),
    items,
  };
}

/**
 * The page's copy of the job after one "batch" value: the full state's
 * replaces it; a diff's carries only what changed and is merged by device
 * id, unless its start time says it is another job, whose report then
 * replaces the last one. Returns a new object; `current` stays as it was.
 */
export function mergeBatch(current, incoming, { full = false } = {}) {
  if (incoming === null) return null;
  if (!isObject(incoming)) return current ?? null;
  const newJob = typeof incoming.startedTime === 'string' && (!current || incoming.startedTime !== current.startedTime);
  if (full || !current || newJob) return readJob(incoming);
  const next = { ...current, items: current.items.slice() };
  if (JOB_STATES.includes(incoming.state)) next.state = incoming.state;
  if ('finishedTime' in incoming) next.finishedTime = textOr(incoming.finishedTime, null);
  const at = new Map(next.items.map((it, i) => [it.deviceId, i]));
  for (const it of Array.isArray(incoming.items) ? incoming.items : []) {
    if (!isObject(it) || typeof it.deviceId !== 'string') continue;
    const i = at.get(it.deviceId);
    if (i === undefined) {
      at.set(it.deviceId, next.items.length);
      next.items.push(readItem(it));
    } else next.items[i] = readItem(it, next.items[i]);
  }
  return next;
}

/** { total, done, failed, cancelled, open } of a job. */
export function batchCounts(batch) {
  const counts = { total: 0, done: 0, failed: 0, cancelled: 0, open: 0 };
  for (const it of batch ? batch.items : []) {
    counts.total += 1;
    if (FINISHED.has(it.status)) counts[it.status] += 1;
    else counts.open += 1;
  }
  return counts;
}

export const failedIds = (batch) => (batch ? batch.items.filter((it) => it.status === 'failed').map((it) => it.deviceId) : []);

/**
 * The job's report as CSV, with the device list's cell rules. `device(id)`
 * gives the listed device or null, `planned(id)` the settings sent (or
 * null when this page did not send the job), `t` translates, `message`
 * translates a failure's reason.
 */
export function reportCsv(batch, { device = () => null, planned = () => null, t = (k) => k, message = (m) => m, locale = 'en' } = {}) {
  const sep = csvSeparator(locale);
  const head = [
    'batch.report.device',
    'col.serialNumber',
    'col.ip',
    'batch.report.plannedName',
    'batch.report.plannedIp',
    'batch.report.status',
    'batch.report.message',
  ];
  const lines = [head.map((k) => csvCell(t(k), sep)).join(sep)];
  for (const it of batch ? batch.items : []) {
    const d = device(it.deviceId);
    const p = planned(it.deviceId);
    const cells = [
      d ? d.name || it.deviceId : it.deviceId,
      d ? d.serialNumber : '',
      d ? d.ip : '',
      p ? p.name : '',
      p ? p.ip : '',
      t(`batch.status.${it.status}`),
      message(it.message),
    ];
    lines.push(cells.map((c) => csvCell(c, sep)).join(sep));
  }
  return `\uFEFF${lines.join('\r\n')}\r\n`;
}

// The reasons the program gives for a device of a job that failed; those
// not listed here are shown as they come.
const ITEM_MESSAGES = new Map([
  ['Address planned twice', 'batch.msg.plannedTwice'],
  ['Invalid address', 'batch.msg.invalid'],
  ['Address in use', 'batch.msg.inUse'],
]);
const IN_USE_BY = /^Address in use by (.+)$/;

/** A failure's reason in the page's language; `label(id)` names the device that holds an address. */
export function itemMessage(text, { t = (k) => k, translate = (m) => m, label = (id) => id } = {}) {
  if (!text) return '';
  const by = IN_USE_BY.exec(text);
  if (by) return t('batch.msg.inUseBy', { name: label(by[1]) });
  return ITEM_MESSAGES.has(text) ? t(ITEM_MESSAGES.get(text)) : translate(text);
}
