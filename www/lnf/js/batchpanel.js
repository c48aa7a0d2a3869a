// The dialog for changing several devices in one job: the common settings
// or an imported plan, the preview with what the page can check, and the
// job's progress and report as the program tells it.

import { h, clear, setText } from './dom.js';
import { checkPlan, itemChanges, jobItem, planFromSettings } from './batch.js';
import { batchCounts, failedIds, itemMessage, reportCsv } from './batchreport.js';
import { matchPlan, parsePlan, planItems } from './plan.js';
import { changeDevices, cancelBatch } from './requests.js';
import { formatDateTime, methodLabel } from './present.js';
import { exportFileName } from './exporter.js';

const $ = (id) => document.getElementById(id);
// The planned settings of the last job this page sent, for the report and
// "Retry failed" after a reload. No login is kept.
const SENT_KEY = 'lanfinder.batch.sent';

export class BatchPanel {
  constructor(hooks) {
    this.hooks = hooks;
    this.dialog = $('dlg-batch');
    this.step = 'setup';
    this.items = []; // the preview's items
    this.plan = null; // { fileName, unmatched, ambiguous } of an imported plan
    this.sent = loadSent(); // id -> job item of the last job sent
    this.awaiting = undefined; // the start time of the job before ours, until ours is reported
    this.pendingSent = null; // what ours planned, until it is reported
    this.wire();
  }

  wire() {
    $('b-preview').addEventListener('click', () => this.previewSettings());
    $('b-import').addEventListener('click', () => $('b-file').click());
    $('b-file').addEventListener('change', (e) => this.importFile(e.target));
    $('b-back').addEventListener('click', () => this.show('setup'));
    $('b-apply').addEventListener('click', () => this.apply());
    $('b-show-report').addEventListener('click', () => this.show('report'));
    $('b-new').addEventListener('click', () => this.show('setup'));
    $('b-cancel').addEventListener('click', () => this.hooks.send(cancelBatch(), { label: this.hooks.t('request.cancelBatch') }));
    $('b-retry').addEventListener('click', () => this.retry());
    $('b-export').addEventListener('click', () => this.exportReport());
    // Whether a device that asks for a login gets one is seen as it is typed.
    $('b-user').addEventListener('input', () => {
      if (this.step !== 'check') return;
      this.recheck();
      this.render();
    });
  }

  /** Opens the dialog: on the running or just sent job's report, else on the settings. */
  open() {
    const batch = this.hooks.state().batch;
    if (!this.dialog.open) this.dialog.showModal();
    this.show(batch && (batch.state === 'running' || this.awaiting !== undefined) ? 'report' : 'setup');
  }

  openReport() {
    if (!this.dialog.open) this.dialog.showModal();
    this.show('report');
  }

  show(step) {
    this.step = step;
    for (const [id, name] of [
      ['b-setup', 'setup'],
      ['b-check', 'check'],
      ['b-report', 'report'],
    ])
      $(id).hidden = name !== step;
    this.render();
  }

  credentials() {
    return { username: $('b-user').value, password: $('b-password').value };
  }

  previewSettings() {
    const { state, picked } = this.hooks;
    const devices = picked();
    setText($('b-setup-error'), '');
    if (!devices.length) {
      setText($('b-setup-error'), this.hooks.t('batch.noneSelected'));
      return;
    }
    const settings = {
      method: $('b-method').value,
      start: $('b-start').value,
      subnetMask: $('b-mask').value,
      defaultGateway: $('b-gateway').value,
      namePattern: $('b-pattern').value,
      nameStart: $('b-nstart').value,
      namePad: $('b-npad').value,
    };
    const listed = [...state().devices.values()];
    this.items = planFromSettings(devices, settings, { listed, nics: state().nics });
    this.plan = null;
    this.check();
  }

  async importFile(input) {
    const file = input.files && input.files[0];
    input.value = '';
    if (!file) return;
    const { t, state } = this.hooks;
    setText($('b-setup-error'), '');
    const { rows, error } = parsePlan(await file.text(), file.name);
    if (error) {
      setText($('b-setup-error'), t(error, { file: file.name }));
      return;
    }
    const listed = [...state().devices.values()];
    const { matched, unmatched, ambiguous } = matchPlan(rows, listed);
    this.items = planItems(matched);
    this.plan = { fileName: file.name, unmatched, ambiguous, rows: rows.length };
    this.check();
  }

  check() {
    // What planning found stays; the checks against the list run again.
    for (const item of this.items) item.planProblems = item.planProblems || item.problems.slice();
    this.recheck();
    this.show('check');
  }

  /** The pre-flight checks against the list as it is now. */
  recheck() {
    const { state, label } = this.hooks;
    const devices = state().devices;
    for (const item of this.items) {
      item.device = devices.get(item.id) || { ...item.device, isMissing: true };
      item.problems = item.planProblems.slice();
    }
    checkPlan(this.items, { listed: [...devices.values()], nics: state().nics, label, username: this.credentials().username });
  }

  /** Items that go out: those that change something. */
  jobItems() {
    return this.items.filter(itemChanges);
  }

  apply() {
    // The list may have moved on since the preview was drawn.
    this.recheck();
    const items = this.jobItems();
    if (!items.length || this.items.some((i) => i.problems.length)) {
      this.render();
      return;
    }
    this.sendJob(items.map(jobItem));
  }

  retry() {
    const batch = this.hooks.state().batch;
    const items = failedIds(batch).map((id) => this.sent.get(id));
    if (!items.length || items.some((i) => !i)) return;
    this.sendJob(items);
  }

  sendJob(items) {
    const { username, password } = this.credentials();
    const before = this.hooks.state().batch;
    const awaiting = before ? before.startedTime : null;
    $('b-apply').disabled = true;
    $('b-retry').disabled = true;
    this.hooks.send(changeDevices(items, username, password), {
      label: this.hooks.t('request.batch'),
      onOk: () => {
        this.pendingSent = new Map(items.map((i) => [i.deviceId, i]));
        this.awaiting = awaiting;
        this.show('report');
      },
      onFail: () => this.render(),
    });
  }

  exportReport() {
    const { t, state, locale, label, translate, download } = this.hooks;
    const batch = state().batch;
    if (!batch) return;
    const device = (id) => state().devices.get(id) || null;
    const csv = reportCsv(batch, {
      device: (id) => {
        const d = device(id);
        return d ? { ...d, name: label(d) } : null;
      },
      planned: (id) => this.sent.get(id) || null,
      t,
      locale: locale(),
      message: (m) => itemMessage(m, { t, translate, label: (x) => (device(x) ? label(device(x)) : x) }),
    });
    download(csv, 'text/csv;charset=utf-8', exportFileName(new Date(), 'csv', 'lanfinder-batch'));
  }

  /** The job as the program reports it; a report of the job before ours waits for ours. */
  job() {
    const batch = this.hooks.state().batch;
    if (this.awaiting !== undefined && batch && batch.startedTime !== this.awaiting) {
      this.awaiting = undefined;
      this.sent = this.pendingSent || this.sent;
      this.pendingSent = null;
      saveSent(this.sent);
    }
    if (this.awaiting !== undefined && !batch) return null;
    return this.awaiting === undefined ? batch : null;
  }

  render() {
    if (!this.dialog.open && this.step !== 'setup') return;
    if (this.step === 'setup') this.renderSetup();
    else if (this.step === 'check') this.renderCheck();
    else this.renderReport();
  }

  renderSetup() {
    const { t, picked, state, tn } = this.hooks;
    setText($('b-selection'), picked().length ? tn('batch.selected', picked().length) : t('batch.noneSelectedHint'));
    $('b-show-report').hidden = !state().batch;
  }

  renderCheck() {
    const { t, tn, label } = this.hooks;
    const problems = this.items.filter((i) => i.problems.length).length;
    const sending = this.jobItems().length;
    const issues = $('b-plan-issues');
    clear(issues);
    if (this.plan) {
      setText($('b-source'), t('batch.fromPlan', { file: this.plan.fileName, rows: this.plan.rows, matched: this.items.length }));
      for (const u of this.plan.unmatched) issues.append(h('li', { text: t(`plan.row.${u.reason}`, { line: u.row.line, key: rowKey(u.row) }) }));
      for (const a of this.plan.ambiguous) issues.append(h('li', { text: t('plan.row.several', { line: a.row.line, key: rowKey(a.row), n: a.ids.length }) }));
    } else setText($('b-source'), tn('batch.selected', this.items.length));
    const body = $('b-preview-rows');
    clear(body);
    for (const item of this.items) {
      const { current: c, planned: p } = item;
      const fixed = p.method === 'PersistentIP';
      const cell = (was, now, changed, cls = 'mono') =>
        h(
          'td',
          { class: cls },
          changed ? [h('span', { class: 'was', text: `${was || '—'} → ` }), h('span', { class: 'changed', text: now || '—' })] : was || '—',
        );
      const checkCell = h('td', { class: 'check' });
      if (item.problems.length) {
        for (const pr of item.problems)
          checkCell.append(h('span', { class: 'problem', text: t(pr.key, { ...pr.params, detail: pr.detail ? t(pr.detail) : '' }) }));
      } else checkCell.append(h('span', { class: 'ok', text: itemChanges(item) ? t('batch.ok') : t('batch.noChange') }));
      body.append(
        h(
          'tr',
          { class: item.problems.length ? 'has-problem' : null, dataset: { deviceId: item.id } },
          h('td', { text: label(item.device) }),
          cell(c.name, p.name, p.name !== c.name, null),
          cell(c.ip, p.ip, fixed && p.ip !== c.ip),
          cell(c.subnetMask, p.subnetMask, fixed && p.subnetMask !== c.subnetMask),
          cell(c.defaultGateway, p.defaultGateway, fixed && p.defaultGateway !== c.defaultGateway),
          h(
            'td',
            {},
            p.method !== c.method
              ? [h('span', { class: 'was', text: `${methodLabel(c.method, t)} → ` }), h('span', { class: 'changed', text: methodLabel(p.method, t) })]
              : methodLabel(c.method, t),
          ),
          checkCell,
        ),
      );
    }
    const closed = !this.hooks.isOpenConnection();
    let summary;
    if (problems) summary = tn('batch.summaryProblems', problems);
    else if (!sending) summary = t('batch.summaryNothing');
    else summary = tn('batch.summarySend', sending);
    setText($('b-check-summary'), summary);
    $('b-apply').disabled = closed || problems > 0 || sending === 0 || this.running();
  }

  running() {
    const batch = this.hooks.state().batch;
    return Boolean(batch && batch.state === 'running');
  }

  renderReport() {
    const { t, tn, state, label, translate, locale } = this.hooks;
    const batch = this.job();
    const closed = !this.hooks.isOpenConnection();
    const body = $('b-report-rows');
    clear(body);
    if (!batch) {
      setText($('b-state'), this.awaiting !== undefined ? t('batch.state.starting') : t('batch.state.none'));
      setText($('b-counts'), '');
      $('b-cancel').disabled = true;
      $('b-retry').disabled = true;
      $('b-export').disabled = true;
      $('b-report-note').hidden = true;
      return;
    }
    const counts = batchCounts(batch);
    const when = batch.finishedTime || batch.startedTime;
    setText($('b-state'), t(`batch.state.${batch.state}`, { time: when ? formatDateTime(when, locale()) : '' }));
    setText(
      $('b-counts'),
      t('batch.counts', { done: counts.done, failed: counts.failed, cancelled: counts.cancelled, open: counts.open, total: counts.total }),
    );
    const devices = state().devices;
    const name = (id) => (devices.has(id) ? label(devices.get(id)) : id);
    for (const it of batch.items) {
      const plan = this.sent.get(it.deviceId);
      const planned = plan ? [plan.name, plan.networkMethod === 'PersistentIP' ? plan.ip : methodLabel(plan.networkMethod, t)].filter(Boolean).join(' · ') : '';
      body.append(
        h(
          'tr',
          { dataset: { deviceId: it.deviceId, status: it.status } },
          h('td', { text: name(it.deviceId) }),
          h('td', { class: 'mono', text: planned }),
          h('td', { class: `status ${it.status}`, text: t(`batch.status.${it.status}`) }),
          h('td', { text: itemMessage(it.message, { t, translate, label: name }) }),
        ),
      );
    }
    const failed = failedIds(batch);
    const known = failed.every((id) => this.sent.has(id));
    $('b-cancel').disabled = closed || batch.state !== 'running';
    $('b-retry').disabled = closed || batch.state === 'running' || failed.length === 0 || !known;
    $('b-export').disabled = false;
    const note = $('b-report-note');
    note.hidden = known || failed.length === 0 || batch.state === 'running';
    setText(note, t('batch.retryUnknown'));
    setText($('b-retry'), failed.length ? tn('batch.retryN', failed.length) : t('batch.retry'));
  }

  /** The program turned our job away because another runs: show that one again. */
  refused() {
    if (this.awaiting === undefined) return;
    this.awaiting = undefined;
    this.pendingSent = null;
    this.render();
  }

  /** The status bar's line about the job. */
  statusText() {
    const { t, state } = this.hooks;
    const batch = state().batch;
    if (!batch) return '';
    const c = batchCounts(batch);
    return t(batch.state === 'running' ? 'batch.sbRunning' : 'batch.sbFinished', { done: c.done, failed: c.failed, total: c.total });
  }
}

function rowKey(row) {
  const c = row.cells;
  return c.id || c.serialNumber || c.mac || '';
}

function loadSent() {
  try {
    const list = JSON.parse(sessionStorage.getItem(SENT_KEY) || '[]');
    return new Map((Array.isArray(list) ? list : []).filter((i) => i && typeof i.deviceId === 'string').map((i) => [i.deviceId, i]));
  } catch {
    return new Map();
  }
}

function saveSent(sent) {
  try {
    sessionStorage.setItem(SENT_KEY, JSON.stringify([...sent.values()]));
  } catch {
    // private mode: retry works in this page only
  }
}
