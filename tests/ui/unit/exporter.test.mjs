import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

const { csvCell, csvSeparator, toCsv, toJson, exportFileName, JSON_KEYS } = await lnf('exporter.js');

// Splits one CSV line of this exporter (quotes doubled inside quoted cells).
function cells(line, sep) {
  const out = [];
  let cur = '';
  let quoted = false;
  for (let i = 0; i < line.length; i++) {
    const c = line[i];
    if (quoted) {
      if (c === '"' && line[i + 1] === '"') {
        cur += '"';
        i++;
      } else if (c === '"') quoted = false;
      else cur += c;
    } else if (c === '"') quoted = true;
    else if (c === sep) {
      out.push(cur);
      cur = '';
    } else cur += c;
  }
  out.push(cur);
  return out;
}

describe('CsvExport', () => {
  test('QuotesSeparatorsQuotesAndLineBreaks', () => {
    for (const [value, sep, cell] of [
      ['plain', ',', 'plain'],
      ['a,b', ',', '"a,b"'],
      ['a,b', ';', '"a,b"'],
      ['a;b', ';', '"a;b"'],
      ['say "hi"', ',', '"say ""hi"""'],
      ['two\nlines', ',', '"two\nlines"'],
      [' padded', ',', '" padded"'],
      [null, ',', ''],
      [['a', 'b'], ',', '"a; b"'],
    ]) {
      assert.equal(csvCell(value, sep), cell, JSON.stringify(value));
    }
  });

  test('NumberLikeTextsStayTextAndFormulasCannotRun', () => {
    for (const [value, cell] of [
      ['01', '"=""01"""'],
      ['000123', '"=""000123"""'],
      ['2.10', '"=""2.10"""'],
      ['10.0.0.1', '"=""10.0.0.1"""'],
      ['2024-03-01', '"=""2024-03-01"""'],
      ['1E5', '"=""1E5"""'],
      ['S1001', 'S1001'],
      ['00:1A:2B:3C:4D:5E', '00:1A:2B:3C:4D:5E'],
      ['', ''],
      ['=HYPERLINK("x")', `"'=HYPERLINK(""x"")"`],
      ['+1', "'+1"],
      ['-1', "'-1"],
      ['@SUM(A1)', "'@SUM(A1)"],
      ['\tx', "'\tx"],
    ]) {
      assert.equal(csvCell(value), cell, JSON.stringify(value));
    }
  });

  test('TheSeparatorFollowsTheLanguagesDecimalMark', () => {
    assert.equal(csvSeparator('en'), ',');
    assert.equal(csvSeparator('de'), ';');
    assert.equal(csvSeparator('not a locale!'), ',');
  });

  test('HoldsTheVisibleColumnsInOrderWithTranslatedHeadingsAndShownTexts', () => {
    const t = (k, p) =>
      ({
        'col.name': 'Name',
        'col.ip': 'IP-Adresse',
        'col.status': 'Zustand',
        'col.networkMethod': 'Adresse',
        'col.hwVersion': 'HW',
        'details.lastAnswered': 'Zuletzt',
        'badge.missing': 'Fehlt',
        'state.ACTIVE': 'Aktiv',
        'method.dhcp': 'DHCP',
        'effective.own': `Gerät: ${p && p.state}`,
      })[k] ?? k;
    const devices = [
      makeDevice({ name: 'A; first', ip: '10.0.0.7', hwVersion: '01', networkMethod: 'DHCP' }),
      makeDevice({ name: 'B', isMissing: true, isFavorite: true, statusStringDetails: ['Device is not available'] }),
    ];
    const csv = toCsv(devices, {
      columns: ['name', 'ip', 'status', 'networkMethod', 'hwVersion'],
      t,
      locale: 'de',
      answered: (id) => (id === devices[0].id ? '08.12.2026, 12:00:05' : ''),
    });
    assert.ok(csv.startsWith('\uFEFF'));
    const lines = csv.slice(1).split('\r\n');
    assert.equal(lines.length, 4); // header, two devices, final empty
    assert.deepEqual(cells(lines[0], ';'), ['Name', 'IP-Adresse', 'Zustand', 'Adresse', 'HW', 'Zuletzt']);
    assert.deepEqual(cells(lines[1], ';'), ['A; first', '="10.0.0.7"', 'Aktiv', 'DHCP', '="01"', '="08.12.2026, 12:00:05"']);
    assert.deepEqual(cells(lines[2], ';').slice(2, 3), ['Fehlt (Gerät: Aktiv) · Device is not available']);
  });
});

describe('JsonExport', () => {
  test('HoldsTheUsersFieldsNotTheProgramsBookkeeping', () => {
    const d = { ...makeDevice({ isProcessing: true }), shouldProcess: true, processingStartedTime: '2026-12-08T12:00:00' };
    const [out] = JSON.parse(toJson([d], { answered: () => '2026-12-08T12:00:05.000Z' }));
    for (const k of ['shouldProcess', 'processingStartedTime', 'isProcessing', 'isRebooting', 'lastSeen']) assert.ok(!(k in out), k);
    for (const k of JSON_KEYS) assert.deepEqual(out[k], d[k], k);
    assert.equal(out.state, 'processing');
    assert.equal(out.lastAnswered, '2026-12-08T12:00:05.000Z');
    assert.deepEqual(Object.keys(out), [...JSON_KEYS, 'state', 'lastAnswered']);
  });

  test('FileNamesCarryDateAndTime', () => {
    assert.equal(exportFileName(new Date(2026, 11, 7, 9, 5), 'csv'), 'lanfinder-devices-20261207-0905.csv');
  });
});
