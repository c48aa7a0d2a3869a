import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';

const { mergeBatch, batchCounts, failedIds, reportCsv, itemMessage } = await lnf('batchreport.js');

describe('BatchReport', () => {
  const job = (o = {}) => ({
    state: 'running',
    startedTime: '2026-12-08T10:00:00',
    finishedTime: null,
    items: [
      { deviceId: 'a', status: 'pending', message: '' },
      { deviceId: 'b', status: 'pending', message: '' },
    ],
    ...o,
  });

  test('a diff merges the changed items by device id and keeps the others', () => {
    const cur = mergeBatch(null, job(), { full: true });
    const next = mergeBatch(cur, { state: 'running', items: [{ deviceId: 'b', status: 'failed', message: 'Not authorized' }] });
    assert.deepEqual(next.items, [
      { deviceId: 'a', status: 'pending', message: '' },
      { deviceId: 'b', status: 'failed', message: 'Not authorized' },
    ]);
    assert.equal(cur.items[1].status, 'pending', 'the old copy is left as it was');
  });

  test('a diff with the same start time is the same job; its end is taken', () => {
    const cur = mergeBatch(null, job(), { full: true });
    const next = mergeBatch(cur, {
      state: 'done',
      startedTime: '2026-12-08T10:00:00',
      finishedTime: '2026-12-08T10:01:00',
      items: [{ deviceId: 'a', status: 'done' }],
    });
    assert.equal(next.state, 'done');
    assert.equal(next.finishedTime, '2026-12-08T10:01:00');
    assert.deepEqual(
      next.items.map((i) => [i.deviceId, i.status, i.message]),
      [
        ['a', 'done', ''],
        ['b', 'pending', ''],
      ],
    );
  });

  test('a new start time replaces the report', () => {
    const cur = mergeBatch(null, job(), { full: true });
    const next = mergeBatch(cur, {
      state: 'running',
      startedTime: '2026-12-08T11:00:00',
      finishedTime: null,
      items: [{ deviceId: 'c', status: 'sent', message: '' }],
    });
    assert.deepEqual(
      next.items.map((i) => i.deviceId),
      ['c'],
    );
  });

  test('null ends the report; malformed values and items are ignored', () => {
    const cur = mergeBatch(null, job(), { full: true });
    assert.equal(mergeBatch(cur, null), null);
    assert.equal(mergeBatch(cur, 'nonsense'), cur);
    const next = mergeBatch(cur, { items: [null, { status: 'done' }, { deviceId: 'a', status: 'exploded' }, { deviceId: 'z', status: 'sent' }] });
    assert.deepEqual(
      next.items.map((i) => [i.deviceId, i.status]),
      [
        ['a', 'pending'],
        ['b', 'pending'],
        ['z', 'sent'],
      ],
    );
  });

  test('counts and failed ids', () => {
    const b = mergeBatch(
      null,
      job({ items: ['done', 'failed', 'cancelled', 'processing', 'done'].map((status, i) => ({ deviceId: `d${i}`, status, message: '' })) }),
      { full: true },
    );
    assert.deepEqual(batchCounts(b), { total: 5, done: 2, failed: 1, cancelled: 1, open: 1 });
    assert.deepEqual(failedIds(b), ['d1']);
    assert.deepEqual(batchCounts(null), { total: 0, done: 0, failed: 0, cancelled: 0, open: 0 });
  });

  test('the report CSV uses the export cell rules', () => {
    const b = mergeBatch(null, job({ items: [{ deviceId: 'a', status: 'failed', message: 'Address in use by x' }] }), { full: true });
    const csv = reportCsv(b, {
      device: () => ({ name: '=cmd', serialNumber: '000123', ip: '10.0.0.1' }),
      planned: () => ({ name: 'N; 1', ip: '10.0.0.9' }),
      locale: 'de',
    });
    const [head, line] = csv.replace(/^\uFEFF/, '').split('\r\n');
    assert.equal(head.split(';').length, 7);
    assert.equal(line, `'=cmd;"=""000123""";"=""10.0.0.1""";"N; 1";"=""10.0.0.9""";batch.status.failed;Address in use by x`);
  });
});

describe('BatchItemMessage', () => {
  const t = (k, p) => (p ? `${k}:${JSON.stringify(p)}` : k);
  const rows = [
    ['', ''],
    ['Address in use by v2d654_s2', 'batch.msg.inUseBy:{"name":"Press 2"}'],
    ['Address planned twice', 'batch.msg.plannedTwice'],
    ['Not authorized', 'translated Not authorized'],
    ['Something new', 'translated Something new'],
  ];
  for (const [text, want] of rows) {
    test(text || 'no reason', () =>
      assert.equal(itemMessage(text, { t, translate: (m) => `translated ${m}`, label: (id) => (id === 'v2d654_s2' ? 'Press 2' : id) }), want),
    );
  }
});

describe('BatchInState', () => {
  test('the full state sets the report, diffs merge into it and say so', async () => {
    const { createState, applyFullState, applyDiff } = await lnf('state.js');
    const state = createState();
    applyFullState(state, {
      devices: { list: [] },
      batch: { state: 'running', startedTime: 't1', finishedTime: null, items: [{ deviceId: 'a', status: 'sent', message: '' }] },
    });
    assert.equal(state.batch.items[0].status, 'sent');
    const changes = applyDiff(state, { batch: { state: 'done', finishedTime: 't2', items: [{ deviceId: 'a', status: 'done', message: '' }] } });
    assert.ok(changes.app.has('batch'));
    assert.deepEqual([state.batch.state, state.batch.items[0].status], ['done', 'done']);
    applyFullState(state, { devices: { list: [] } });
    assert.equal(state.batch, null, 'a full state without a job has no report');
  });
});
