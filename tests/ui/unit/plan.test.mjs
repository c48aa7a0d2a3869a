import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

const { parseCsv, guessSeparator, parsePlan, matchPlan, planItems } = await lnf('plan.js');

describe('PlanCsv', () => {
  const rows = [
    [
      'commas',
      'a,b,c\r\n1,2,3\r\n',
      [
        ['a', 'b', 'c'],
        ['1', '2', '3'],
      ],
    ],
    [
      'semicolons',
      'a;b\n1;2\n',
      [
        ['a', 'b'],
        ['1', '2'],
      ],
    ],
    [
      'quoted separator, quote and line end',
      'a,b\n"x, y","say ""hi""\nthere"\n',
      [
        ['a', 'b'],
        ['x, y', 'say "hi"\nthere'],
      ],
    ],
    [
      'empty cells and no final line end',
      'a,b,c\n1,,3',
      [
        ['a', 'b', 'c'],
        ['1', '', '3'],
      ],
    ],
    ['blank lines and a BOM', '\uFEFFa\n\n1\r\r\n', [['a'], ['1']]],
  ];
  for (const [what, text, want] of rows) {
    test(what, () => assert.deepEqual(parseCsv(text, guessSeparator(text)), want));
  }

  test('the separator is the one the header uses outside quotes', () => {
    assert.equal(guessSeparator('serialNumber;name;ip\n'), ';');
    assert.equal(guessSeparator('"a;b;c",name\n'), ',');
    assert.equal(guessSeparator('serialNumber\n'), ',');
  });
});

describe('PlanFile', () => {
  test('CSV rows keep only known, non-empty cells, with their line', () => {
    const { rows, error } = parsePlan('SerialNumber;Name;IP;Comment\n="000123";Line 1;;x\nS2;"Line; 2";10.0.0.9;\n', 'plan.csv');
    assert.equal(error, null);
    assert.deepEqual(rows, [
      { line: 2, cells: { serialNumber: '000123', name: 'Line 1' } },
      { line: 3, cells: { serialNumber: 'S2', name: 'Line; 2', ip: '10.0.0.9' } },
    ]);
  });

  test('JSON is an array of objects or an object with "devices"', () => {
    const want = [{ line: 1, cells: { mac: '00:1a', networkMethod: 'DHCP' } }];
    assert.deepEqual(parsePlan('[{"mac":"00:1a","networkMethod":"DHCP","name":""}]', 'p.json').rows, want);
    assert.deepEqual(parsePlan('{"devices":[{"mac":"00:1a","networkMethod":"DHCP"}]}', 'p.txt').rows, want);
  });

  const bad = [
    ['broken JSON', '[{', 'p.json', 'plan.error.json'],
    ['JSON that is no list', '{"a":1}', 'p.json', 'plan.error.json'],
    ['an empty file', '', 'p.csv', 'plan.error.empty'],
    ['a header without a match column', 'name,ip\nx,10.0.0.1\n', 'p.csv', 'plan.error.noKey'],
  ];
  for (const [what, text, name, key] of bad) test(`refuses ${what}`, () => assert.equal(parsePlan(text, name).error, key));
});

describe('PlanMatch', () => {
  const a = makeDevice({ serialNumber: 'S1', articleNumber: 'A1', mac: '00:1A:2B:00:00:01', name: 'a', ip: '10.0.0.11', networkMethod: 'PersistentIP' });
  const b = makeDevice({ serialNumber: 'S1', articleNumber: 'B2', mac: '00:1A:2B:00:00:02', name: 'b' });
  const c = makeDevice({ serialNumber: 'S3', mac: '00:1A:2B:00:00:03', name: 'c', networkMethod: 'DHCP' });
  const devices = [a, b, c];
  const row = (line, cells) => ({ line, cells });

  test('rows find their device by id, MAC in any spelling, or serial number', () => {
    const { matched, unmatched, ambiguous } = matchPlan(
      [row(2, { id: a.id.toUpperCase() }), row(3, { mac: '001a2b000002' }), row(4, { serialNumber: 's3' })],
      devices,
    );
    assert.deepEqual(
      matched.map((m) => m.device.id),
      [a.id, b.id, c.id],
    );
    assert.deepEqual([unmatched, ambiguous], [[], []]);
  });

  test('rows that match nothing, several, or a device already planned are listed, not guessed', () => {
    const { matched, unmatched, ambiguous } = matchPlan(
      [
        row(2, { serialNumber: 'S1' }),
        row(3, { serialNumber: 'S9' }),
        row(4, { name: 'no key' }),
        row(5, { serialNumber: 'S3' }),
        row(6, { mac: '00-1A-2B-00-00-03' }),
        row(7, { serialNumber: 'S1', mac: '00:1a:2b:00:00:03' }),
        row(8, { id: b.id, networkMethod: 'static' }),
      ],
      devices,
    );
    assert.deepEqual(
      matched.map((m) => m.row.line),
      [5],
    );
    assert.deepEqual(ambiguous, [{ row: row(2, { serialNumber: 'S1' }), ids: [a.id, b.id] }]);
    assert.deepEqual(
      unmatched.map((u) => [u.row.line, u.reason]),
      [
        [3, 'noDevice'],
        [4, 'noKey'],
        [6, 'twice'],
        [7, 'noDevice'],
        [8, 'method'],
      ],
    );
  });

  test('missing cells keep the device values', () => {
    const { matched } = matchPlan([row(2, { id: a.id, name: 'new' }), row(3, { id: c.id, ip: '10.0.0.99' })], devices);
    const [ia, ic] = planItems(matched);
    assert.deepEqual(ia.planned, { name: 'new', method: 'PersistentIP', ip: '10.0.0.11', subnetMask: a.subnetMask, defaultGateway: a.defaultGateway });
    assert.deepEqual(ia.problems, []);
    // An address for a device that stays on DHCP would not go out: said, not dropped.
    assert.equal(ic.planned.method, 'DHCP');
    assert.deepEqual(
      ic.problems.map((p) => p.key),
      ['batch.problem.notFixed'],
    );
  });

  test('the method cell is read without regard to case', () => {
    const { matched } = matchPlan([row(2, { id: c.id, networkMethod: 'persistentip', ip: '10.0.0.98' })], devices);
    const [item] = planItems(matched);
    assert.equal(item.planned.method, 'PersistentIP');
    assert.deepEqual(item.problems, []);
  });
});
