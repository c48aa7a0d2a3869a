import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

const { csvCell, toCsv, toJson, exportFileName, CSV_KEYS } = await lnf('exporter.js');

describe('CsvExport', () => {
  test('QuotesSeparatorsQuotesAndLineBreaks', () => {
    assert.equal(csvCell('plain'), 'plain');
    assert.equal(csvCell('a,b'), '"a,b"');
    assert.equal(csvCell('say "hi"'), '"say ""hi"""');
    assert.equal(csvCell('two\nlines'), '"two\nlines"');
    assert.equal(csvCell(null), '');
    assert.equal(csvCell(true), 'true');
    assert.equal(csvCell(['a', 'b']), '"a; b"');
  });

  test('DeviceTextsCannotRunAsSpreadsheetFormulas', () => {
    assert.equal(csvCell('=HYPERLINK("x")'), `"'=HYPERLINK(""x"")"`);
    assert.equal(csvCell('+1'), "'+1");
    assert.equal(csvCell('-1'), "'-1");
    assert.equal(csvCell('@SUM(A1)'), "'@SUM(A1)");
  });

  test('HasAHeaderOneLinePerDeviceAndABom', () => {
    const devices = [makeDevice({ name: 'A' }), makeDevice({ name: 'B, second' })];
    const csv = toCsv(devices);
    assert.ok(csv.startsWith('\uFEFF'));
    const lines = csv.slice(1).split('\r\n');
    assert.equal(lines.length, 4); // header, two devices, final empty
    assert.equal(lines[0], CSV_KEYS.join(','));
    assert.ok(lines[2].startsWith('"B, second",'));
  });
});

describe('JsonExport', () => {
  test('RoundTripsTheDevices', () => {
    const devices = [makeDevice()];
    assert.deepEqual(JSON.parse(toJson(devices)), devices);
  });

  test('FileNamesCarryDateAndTime', () => {
    assert.equal(exportFileName(new Date(2026, 11, 7, 9, 5), 'csv'), 'lanfinder-devices-20261207-0905.csv');
  });
});
