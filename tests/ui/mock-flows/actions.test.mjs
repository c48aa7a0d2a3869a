// Favourites, localize, theme, language, search, sort, export and keyboard use.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { useBrowser, withApp, row, until, visible, shownRows } from '../support/fixture.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

useBrowser();

describe('Favourites', () => {
  test('TheStarSendsSetFavoriteAndFollowsTheApplication', async () => {
    const d = makeDevice({ name: 'Star me' });
    await withApp('actions-favourite', { devices: [d] }, async ({ page, mock }) => {
      await row(page, 'Star me').locator('.star').click();
      const req = await mock.waitForRequest('SetFavorite');
      assert.deepEqual([req.deviceId, req.isFavorite], [d.id, true]);
      await until(async () => (await row(page, 'Star me').locator('.star').getAttribute('aria-pressed')) === 'true', 'star on');
      await visible(page, '#toasts .toast', 'Added to favourites');
      assert.ok((await page.locator('#toasts .toast').first().innerText()).includes('Star me'));
      // Off again, from the details panel.
      await row(page, 'Star me').click();
      await page.click('#d-fav');
      await until(async () => mock.requests.filter((r) => r.reqType === 'SetFavorite').length === 2, 'second request');
      assert.equal(mock.requests.at(-1).isFavorite, false);
      await until(async () => (await page.getAttribute('#d-fav', 'aria-pressed')) === 'false', 'details button off');
      await visible(page, '#toasts .toast', 'Removed from favourites');
    });
  });

  test('WithoutAnAnswerTheStarReturnsAndTheUserIsTold', async () => {
    const d = makeDevice({ name: 'Silent' });
    await withApp('actions-favourite-unanswered', { devices: [d], behaviour: { answerRequests: false } }, async ({ page, mock }) => {
      await row(page, 'Silent').locator('.star').click();
      await mock.waitForRequest('SetFavorite');
      await visible(page, '#toasts .toast.error', 'did not accept', 15000);
      await until(async () => (await row(page, 'Silent').locator('.star').getAttribute('aria-pressed')) === 'false', 'star back off');
    });
  });
});

describe('Localize', () => {
  test('LocalizeSendsTheRequestAndShowsTheOutcomeWithTheDevice', async () => {
    const d = makeDevice({ name: 'Blinky', isAuthentication: true });
    await withApp('actions-localize', { devices: [d] }, async ({ page, mock }) => {
      await row(page, 'Blinky').click();
      await page.click('#d-localize');
      await visible(page, '#e-credentials', 'user name');
      await page.fill('#f-user', 'op');
      await page.fill('#f-password', 'pw');
      await page.click('#d-localize');
      const req = await mock.waitForRequest('Localize');
      assert.deepEqual([req.deviceId, req.username, req.password], [d.id, 'op', 'pw']);
      mock.notify('LocalizingSuccess');
      mock.tick();
      const toast = await visible(page, '#toasts .toast.success', 'localizing itself');
      assert.ok((await toast.innerText()).includes('Blinky'));
    });
  });

  test('ADeviceWithoutLocalizeHasTheButtonDisabled', async () => {
    await withApp('actions-localize-unsupported', { devices: [makeDevice({ name: 'Plain', supportsLocalize: false })] }, async ({ page }) => {
      await row(page, 'Plain').click();
      await visible(page, '#d-title', 'Plain');
      assert.equal(await page.isDisabled('#d-localize'), true);
    });
  });
});

describe('ThemeAndLanguage', () => {
  test('TheThemeGoesThroughTheApplication', async () => {
    await withApp('actions-theme', { devices: [makeDevice()] }, async ({ page, mock }) => {
      await visible(page, '#rows tr[aria-rowindex]');
      await page.click('#btn-theme');
      const req = await mock.waitForRequest('SetTheme');
      assert.equal(req.theme, 'dark');
      await until(async () => (await page.getAttribute('html', 'data-theme')) === 'dark', 'dark theme');
      // Another browser changes it back: this page follows the application.
      mock.setApp('theme', 'light');
      await until(async () => (await page.getAttribute('html', 'data-theme')) === 'light', 'light again');
    });
  });

  test('TheLanguageSwitchesEveryTextAndGoesThroughTheApplication', async () => {
    const devices = [
      makeDevice({ name: 'Cam', deviceState: 'ERROR' }),
      makeDevice({ name: 'Gone', isFavorite: true, isMissing: true, statusStringDetails: ['Device is not available', 'Own text'] }),
    ];
    await withApp('actions-language', { devices }, async ({ page, mock }) => {
      await visible(page, '#rows tr[aria-rowindex]');
      const options = await page.$$eval('#language option', (o) => o.map((x) => [x.value, x.textContent]));
      assert.deepEqual(options, [
        ['en', 'English'],
        ['de', 'Deutsch'],
      ]);
      await page.selectOption('#language', 'de');
      const req = await mock.waitForRequest('SetLanguage');
      assert.equal(req.language, 'de');
      await visible(page, '#sb-connection-text', 'Verbunden');
      await visible(page, 'th', 'IP-Adresse');
      await visible(page, '#rows .status-label', 'Fehler');
      // The program's own status line is translated; the device's own lines are not.
      await visible(page, '#rows .info-text', 'Das Gerät ist nicht verfügbar · Own text');
      assert.equal(await page.getAttribute('html', 'lang'), 'de');
      assert.equal(await page.getAttribute('#search', 'placeholder'), 'Name, Adresse, Seriennummer, MAC suchen…');
      mock.notify('Device is busy. Please retry');
      mock.tick();
      await visible(page, '#toasts .toast', 'Das Gerät ist beschäftigt');
    });
  });

  test('ALanguageTheApplicationDoesNotListFallsBackToEnglish', async () => {
    await withApp('actions-language-unknown', { devices: [makeDevice()], language: 'xx' }, async ({ page }) => {
      await visible(page, '#sb-connection-text', 'Connected');
      assert.equal(await page.getAttribute('html', 'lang'), 'en');
    });
  });
});

describe('SearchSortAndFilter', () => {
  const devices = [
    makeDevice({ name: 'Cam 10', ip: '10.0.0.10', isFavorite: true }),
    makeDevice({ name: 'Cam 9', ip: '10.0.0.9', deviceState: 'WARNING' }),
    makeDevice({ name: 'Reader', ip: '10.0.0.100', type: 'CodeReader' }),
  ];

  test('SearchNarrowsTheListAndSaysHowMany', async () => {
    await withApp('actions-search', { devices }, async ({ page }) => {
      await row(page, 'Reader').waitFor();
      await page.keyboard.press('/');
      await page.keyboard.type('codereader');
      await until(async () => (await shownRows(page)).length === 1, 'one row');
      await visible(page, '#row-count', 'Showing 1 of 3');
      await page.keyboard.type(' nothing');
      await visible(page, '#empty-title', 'No device matches');
      await page.click('#btn-clear-filters');
      await until(async () => (await shownRows(page)).length === 3, 'all rows back');
    });
  });

  test('HeadersSortAndChipsFilter', async () => {
    await withApp('actions-sort', { devices }, async ({ page }) => {
      await row(page, 'Reader').waitFor();
      assert.deepEqual(
        (await shownRows(page)).map((r) => r.name),
        ['Cam 9', 'Cam 10', 'Reader'],
      );
      await page.click('th[data-key="ip"] button');
      assert.equal(await page.getAttribute('th[data-key="ip"]', 'aria-sort'), 'ascending');
      assert.deepEqual(
        (await shownRows(page)).map((r) => r.name),
        ['Cam 9', 'Cam 10', 'Reader'],
      );
      await page.click('th[data-key="ip"] button');
      assert.deepEqual(
        (await shownRows(page)).map((r) => r.name),
        ['Reader', 'Cam 10', 'Cam 9'],
      );
      await page.click('[data-filter="favorites"]');
      assert.deepEqual(
        (await shownRows(page)).map((r) => r.name),
        ['Cam 10'],
      );
      await page.click('[data-filter="favorites"]');
      await page.click('[data-filter="attention"]');
      assert.deepEqual(
        (await shownRows(page)).map((r) => r.name),
        ['Cam 9'],
      );
    });
  });

  test('HiddenColumnsStayHidden', async () => {
    await withApp('actions-columns', { devices }, async ({ page }) => {
      await row(page, 'Reader').waitFor();
      await page.click('#btn-columns');
      await page.locator('#column-list label', { hasText: 'MAC address' }).locator('input').uncheck();
      await page.keyboard.press('Escape');
      assert.equal(await page.locator('th[data-key="mac"]').count(), 0);
      await page.reload();
      await row(page, 'Reader').waitFor();
      assert.equal(await page.locator('th[data-key="mac"]').count(), 0);
    });
  });
});

describe('Export', () => {
  test('CsvAndJsonHoldTheShownDevices', async () => {
    const devices = [makeDevice({ name: '=cmd|calc', ip: '10.0.0.1' }), makeDevice({ name: 'Second, with comma' })];
    await withApp('actions-export', { devices }, async ({ page }) => {
      await row(page, 'Second').waitFor();
      await page.click('#btn-export');
      const [csvDownload] = await Promise.all([page.waitForEvent('download'), page.click('[data-export="csv"]')]);
      assert.match(csvDownload.suggestedFilename(), /^lanfinder-devices-\d{8}-\d{4}\.csv$/);
      const csv = fs.readFileSync(await csvDownload.path(), 'utf8');
      assert.ok(csv.includes("'=cmd|calc"), 'formula neutralised');
      assert.ok(csv.includes('"Second, with comma"'));
      await page.click('#btn-export');
      const [jsonDownload] = await Promise.all([page.waitForEvent('download'), page.click('[data-export="json"]')]);
      const list = JSON.parse(fs.readFileSync(await jsonDownload.path(), 'utf8'));
      assert.deepEqual(list.map((d) => d.name).sort(), ['=cmd|calc', 'Second, with comma']);
    });
  });
});

describe('Keyboard', () => {
  test('ArrowsMoveEnterOpensFTogglesEscapeCloses', async () => {
    const devices = [makeDevice({ name: 'A1' }), makeDevice({ name: 'A2' }), makeDevice({ name: 'A3' })];
    await withApp('actions-keyboard', { devices }, async ({ page, mock }) => {
      await row(page, 'A3').waitFor();
      // Focus lands on the first row; one step down is the second.
      await page.focus('#device-table');
      await page.keyboard.press('ArrowDown');
      await page.keyboard.press('Enter');
      await visible(page, '#d-title', 'A2');
      await page.keyboard.press('Escape');
      await page.locator('#details').waitFor({ state: 'hidden' });
      assert.equal(await page.evaluate(() => document.activeElement.id), 'device-table');
      await page.keyboard.press('f');
      const req = await mock.waitForRequest('SetFavorite');
      assert.equal(req.deviceId, devices[1].id);
    });
  });
});

describe('LaptopScreen', () => {
  const box = (page, sel) => page.evaluate((s) => document.querySelector(s).getBoundingClientRect().toJSON(), sel);
  const overlaps = (a, b) => a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;

  for (const viewport of [
    { width: 1280, height: 720 },
    { width: 1440, height: 900 },
  ]) {
    test(`AtWidth${viewport.width}TheTableShrinksBesideThePanelAndToastsKeepOffTheForm`, async () => {
      const devices = Array.from({ length: 40 }, (_, i) => makeDevice({ name: `Unit ${String(i).padStart(2, '0')}` }));
      await withApp(`actions-laptop-${viewport.width}`, { devices, viewport }, async ({ page, mock }) => {
        await row(page, 'Unit 00').waitFor();
        await row(page, 'Unit 03').click();
        await visible(page, '#d-title', 'Unit 03');
        const panel = await box(page, '#details');
        const scroll = await box(page, '#table-scroll');
        assert.ok(scroll.right <= panel.left + 1, `the table ends where the panel starts: ${scroll.right} / ${panel.left}`);
        // The IP column of the open device is in sight beside the panel.
        const ip = await box(page, `#rows tr[data-device-id="${devices[3].id}"] td:nth-child(4)`);
        assert.equal(await page.textContent('th:nth-child(4)'), 'IP address');
        assert.ok(ip.left >= scroll.left && ip.right <= scroll.right, `IP cell ${ip.left}..${ip.right} within ${scroll.left}..${scroll.right}`);
        // Many messages at once: none lies over the form's foot.
        for (let i = 0; i < 6; i++) mock.notify(i % 2 ? 'Device is busy. Please retry' : 'Settings could not be saved');
        mock.tick();
        await until(async () => (await page.locator('#toasts .toast').count()) >= 2, 'toasts shown');
        await page.locator('#f-apply').scrollIntoViewIfNeeded();
        const apply = await box(page, '#f-apply');
        const form = await box(page, '#d-form');
        for (const t of await page.$$eval('#toasts .toast', (els) => els.map((e) => e.getBoundingClientRect().toJSON()))) {
          assert.ok(!overlaps(t, apply), `a toast covers Apply: ${JSON.stringify(t)}`);
          assert.ok(!overlaps(t, form), `a toast covers the form: ${JSON.stringify(t)}`);
        }
        assert.equal(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth), true, 'no page-wide horizontal scroll');
        await page.keyboard.press('Escape');
        await page.locator('#details').waitFor({ state: 'hidden' });
      });
    });
  }
});

describe('CopyAndSearch', () => {
  const devices = [
    makeDevice({ name: 'Line 9', type: 'VisionSensor', serialNumber: '000123', ip: '10.0.0.21', mac: '02:00:00:00:00:21' }),
    makeDevice({ name: 'Press', type: 'VisionSensor', serialNumber: 'S1009', ip: '10.0.0.22', mac: '00:1A:2B:3C:4D:5E' }),
    makeDevice({ name: 'Reader', type: 'CodeReader', serialNumber: 'S1010', ip: '10.0.0.23', mac: '02:00:00:00:00:23' }),
  ];
  const clipboard = (page) => page.evaluate(() => navigator.clipboard.readText());

  test('PanelValuesAndTheFocusedCellCanBeCopied', async () => {
    await withApp('actions-copy', { devices }, async ({ page, context, mock }) => {
      await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: mock.url.replace(/\/$/, '') });
      await row(page, 'Press').locator('.name-text').click();
      await visible(page, '#d-title', 'Press');
      for (const [what, value] of [
        ['col.ip', '10.0.0.22'],
        ['col.mac', '00:1A:2B:3C:4D:5E'],
        ['col.serialNumber', 'S1009'],
      ]) {
        await page.click(`#d-info button[data-copy="${what}"]`);
        await until(async () => (await clipboard(page)) === value, `${value} on the clipboard`);
      }
      await page.keyboard.press('Escape');
      // Ctrl+C copies the focused cell: the one clicked last, moved one column right.
      await page.focus('#device-table');
      await page.keyboard.press('ArrowRight');
      await visible(page, '#rows td.active-cell', '10.0.0.22');
      await page.keyboard.press('Control+c');
      await until(async () => (await clipboard(page)) === '10.0.0.22', 'the cell on the clipboard');
      // A value selected with the mouse is copied, and the row does not open.
      const cell = await row(page, 'Reader').locator('td', { hasText: 'S1010' }).boundingBox();
      await page.mouse.move(cell.x + 2, cell.y + cell.height / 2);
      await page.mouse.down();
      await page.mouse.move(cell.x + cell.width - 2, cell.y + cell.height / 2, { steps: 5 });
      await page.mouse.up();
      assert.equal(await page.evaluate(() => window.getSelection().toString().trim()), 'S1010');
      assert.equal(await page.isHidden('#details'), true);
    });
  });

  test('SearchWordsAllMatchAtWordStartsAndMacsWithoutSeparators', async () => {
    await withApp('actions-search-words', { devices }, async ({ page }) => {
      await row(page, 'Reader').waitFor();
      const names = async () => (await shownRows(page)).map((r) => r.name);
      for (const [query, expected] of [
        ['sensor 9', ['Line 9']],
        ['001a2b3c', ['Press']],
        ['00-1a-2b', ['Press']],
        ['0123', []],
        ['000123', ['Line 9']],
      ]) {
        await page.fill('#search', query);
        await until(async () => JSON.stringify(await names()) === JSON.stringify(expected), `"${query}" shows ${expected}`);
      }
    });
  });
});

describe('Polish', () => {
  const devices = [
    makeDevice({ name: 'Cam A', ip: '10.0.0.30', deviceState: 'WARNING' }),
    makeDevice({ name: 'Cam B', ip: '10.0.0.31', supportsLocalize: false, supportsDHCP: false }),
    makeDevice({ name: 'Other', ip: '10.0.0.32', isFavorite: true, isMissing: true }),
  ];

  test('SearchFiltersSortAndTheOpenDeviceLiveInTheAddress', async () => {
    await withApp('polish-address', { devices }, async ({ page, mock }) => {
      await page.goto(`${mock.url}?q=cam&filter=attention&sort=ip&dir=desc&device=${devices[0].id}`);
      await visible(page, '#d-title', 'Cam A');
      assert.equal(await page.inputValue('#search'), 'cam');
      assert.equal(await page.getAttribute('[data-filter="attention"]', 'aria-pressed'), 'true');
      assert.equal(await page.getAttribute('th[data-key="ip"]', 'aria-sort'), 'descending');
      assert.deepEqual(
        (await shownRows(page)).map((r) => r.name),
        ['Cam A'],
      );
      // Changes go into the address; a reload brings them back.
      await page.click('[data-filter="attention"]');
      await page.click('th[data-key="ip"] button');
      await row(page, 'Cam B').locator('.name-text').click();
      await visible(page, '#d-title', 'Cam B');
      await until(async () => {
        const u = new URL(page.url());
        return u.searchParams.get('device') === devices[1].id && !u.searchParams.has('filter') && u.searchParams.get('dir') === 'asc';
      }, 'the address follows');
      await page.reload();
      await visible(page, '#d-title', 'Cam B');
      assert.equal(await page.getAttribute('th[data-key="ip"]', 'aria-sort'), 'ascending');
      assert.deepEqual(
        (await shownRows(page)).map((r) => r.name),
        ['Cam A', 'Cam B'],
      );
      await page.keyboard.press('Escape');
      await until(async () => !new URL(page.url()).searchParams.has('device'), 'no device in the address once closed');
    });
  });

  test('ColumnsKeepTheirWidthAndDisabledControlsSayWhy', async () => {
    await withApp('polish-controls', { devices }, async ({ page, mock }) => {
      await row(page, 'Cam B').waitFor();
      const widths = () => page.$$eval('#head-row th', (ths) => ths.map((th) => Math.round(th.getBoundingClientRect().width)));
      const before = await widths();
      mock.updateDevice(devices[0].id, { isProcessing: true, ip: '10.0.0.31' }, { oneDiff: true });
      await visible(page, '#rows td.conflict');
      await visible(page, '#rows .badge.conflict');
      assert.deepEqual(await widths(), before);
      assert.match(await page.getAttribute('[data-filter="attention"]', 'title'), /missing.*not reachable.*warning.*error.*IP address/);
      await row(page, 'Cam B').locator('.name-text').click();
      await visible(page, '#d-actions-why', 'does not support it');
      assert.equal(await page.isDisabled('#d-localize'), true);
      await visible(page, '#f-dhcp-why', 'not supported');
      await row(page, 'Other').locator('.name-text').click();
      await visible(page, '#d-actions-why', 'does not answer');
      await page.selectOption('#language', 'de');
      await visible(page, '[data-filter="missing"]', 'Fehlt');
      await visible(page, '#rows .status-label', 'Fehlt');
    });
  });
});
