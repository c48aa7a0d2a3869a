import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { lnf, WEB } from './helpers.mjs';

const { createTranslator, isSafeLanguageCode, languageName, loadDictionary } = await lnf('i18n.js');
const { COLUMNS } = await lnf('columns.js');
const { MESSAGES } = await lnf('notify.js');
const { ITEM_STATUSES, JOB_STATES } = await lnf('batchreport.js');
const { formatNumber, pluralCategory } = await lnf('numbers.js');

const folder = path.join(WEB, 'translations_json');
const files = fs.readdirSync(folder).filter((f) => f.endsWith('.json'));
const dicts = Object.fromEntries(files.map((f) => [f.replace(/\.json$/, ''), JSON.parse(fs.readFileSync(path.join(folder, f), 'utf8'))]));
const placeholders = (s) => [...s.matchAll(/\{(\w+)\}/g)].map((m) => m[1]).sort();

/** Every key the page asks for: markup attributes, literal t('…') calls and the key tables. */
function usedKeys() {
  const keys = new Set();
  const html = fs.readFileSync(path.join(WEB, 'index.html'), 'utf8');
  for (const m of html.matchAll(/data-i18n="([^"]+)"/g)) keys.add(m[1]);
  for (const m of html.matchAll(/data-i18n-attr="([^"]+)"/g)) for (const pair of m[1].split(';')) keys.add(pair.split(':')[1]);
  for (const f of fs.readdirSync(path.join(WEB, 'js'))) {
    const src = fs.readFileSync(path.join(WEB, 'js', f), 'utf8');
    for (const m of src.matchAll(/\bt\(\s*'([\w.]+)'/g)) keys.add(m[1]);
    for (const m of src.matchAll(/'((?:error|warning|badge|progress|form|details|status|closed|empty|request|toast)\.[\w]+)'/g)) keys.add(m[1]);
    for (const m of src.matchAll(/'((?:batch|plan)\.[\w]+\.[\w.]+)'/g)) keys.add(m[1]);
  }
  for (const c of COLUMNS) keys.add(c.label);
  for (const m of MESSAGES.values()) keys.add(m.key);
  for (const s of ['ACTIVE', 'WARNING', 'ERROR', 'LOCALIZE', 'UNKNOWN']) keys.add(`state.${s}`);
  for (const s of ITEM_STATUSES) keys.add(`batch.status.${s}`);
  for (const s of JOB_STATES) keys.add(`batch.state.${s}`);
  for (const r of ['noKey', 'noDevice', 'twice', 'method']) keys.add(`plan.row.${r}`);
  for (const k of ['batch.selected', 'batch.retryN', 'batch.summaryProblems', 'batch.summarySend']) for (const n of ['one', 'other']) keys.add(`${k}.${n}`);
  for (const n of ['one', 'other']) keys.add(`count.devices.${n}`);
  keys.delete('count.devices');
  return keys;
}

describe('Translations', () => {
  test('EnglishAndGermanAreThere', () => {
    assert.ok(dicts.en);
    assert.ok(dicts.de);
  });

  test('EveryLanguageHasEveryKeyAndNoOther', () => {
    const en = Object.keys(dicts.en).sort();
    for (const [code, d] of Object.entries(dicts)) assert.deepEqual(Object.keys(d).sort(), en, code);
  });

  test('EveryTextThePageUsesIsInEnglish', () => {
    const missing = [...usedKeys()].filter((k) => !(k in dicts.en));
    assert.deepEqual(missing, []);
  });

  test('TextsAreNotEmptyAndKeepTheirPlaceholders', () => {
    for (const [code, d] of Object.entries(dicts)) {
      for (const [key, value] of Object.entries(d)) {
        assert.equal(typeof value, 'string', `${code} ${key}`);
        assert.ok(value.trim().length > 0, `${code} ${key}`);
        assert.deepEqual(placeholders(value), placeholders(dicts.en[key]), `${code} ${key}`);
      }
    }
  });

  test('GermanIsReallyTranslated', () => {
    const same = Object.keys(dicts.en).filter((k) => dicts.de[k] === dicts.en[k]);
    // Words that are the same in both languages.
    const allowed = new Set([
      'col.name',
      'form.name',
      'col.defaultGateway',
      'form.defaultGateway',
      'col.fwVersion',
      'col.hwVersion',
      'method.dhcp',
      'export.json',
    ]);
    assert.deepEqual(
      same.filter((k) => !allowed.has(k)),
      [],
    );
  });
});

describe('Translator', () => {
  test('FallsBackToEnglishThenToTheKey', () => {
    const t = createTranslator({ a: 'A-de' }, { a: 'A-en', b: 'B-en' });
    assert.equal(t('a'), 'A-de');
    assert.equal(t('b'), 'B-en');
    assert.equal(t('c'), 'c');
  });

  test('FillsPlaceholdersAndLeavesUnknownOnes', () => {
    const t = createTranslator({ x: '{n} of {total} {other}' });
    assert.equal(t('x', { n: 1, total: 2 }), '1 of 2 {other}');
  });

  test('LanguageCodesAreFileNamesOnly', () => {
    for (const ok of ['en', 'de', 'pt-BR', 'zh_Hant']) assert.equal(isSafeLanguageCode(ok), true, ok);
    for (const bad of ['../etc/passwd', 'en/../../x', '', 'a b', 'x?y', 5, null]) assert.equal(isSafeLanguageCode(bad), false, String(bad));
  });

  test('LanguagesAreNamedInThemselves', () => {
    assert.equal(languageName('de', dicts.de), 'Deutsch');
    assert.equal(languageName('fr'), 'Français');
    assert.equal(languageName('xx-not-a-code!'), 'xx-not-a-code!');
  });

  test('LoadingRefusesUnsafeCodesAndReportsHttpErrors', async () => {
    await assert.rejects(loadDictionary('../x', async () => assert.fail('fetched')));
    await assert.rejects(
      loadDictionary('de', async () => ({ ok: false, status: 404 })),
      /404/,
    );
    assert.deepEqual(await loadDictionary('de', async (url) => ({ ok: url === 'translations_json/de.json', json: async () => ({ a: 'b' }) })), { a: 'b' });
  });
});

describe('NumbersOfALanguage', () => {
  test('KeptFormatsWriteWhatAFreshOneWrites', () => {
    // Asked twice, so the second answer comes from the kept format.
    for (const language of ['en', 'de', 'fr', 'ar', 'pl', 'en', 'de']) {
      for (const n of [0, 1, 2, 5, 21, 1234.5, 10000, 1234567]) {
        assert.equal(formatNumber(language, n), n.toLocaleString(language), `${language} ${n}`);
        assert.equal(pluralCategory(language, n), new Intl.PluralRules(language).select(n), `${language} ${n}`);
      }
    }
  });

  test('AMalformedLanguageCountsAsOtherAndCannotFormat', () => {
    for (let i = 0; i < 2; i++) {
      assert.equal(pluralCategory('not a tag!', 1), 'other');
      assert.throws(() => (1).toLocaleString('not a tag!'), RangeError);
      assert.throws(() => formatNumber('not a tag!', 1), RangeError);
    }
  });
});
