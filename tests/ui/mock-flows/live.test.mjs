// The device list follows the application's state: full state on connect,
// then each diff applied in place.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { useBrowser, withApp, row, until, visible, hidden, shownRows } from '../support/fixture.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';
import { pageState } from '../support/browser.mjs';

useBrowser();

describe('LiveList', () => {
  test('FullStateShowsEveryDeviceWithItsFields', async () => {
    const devices = [
      makeDevice({
        name: 'Press 1',
        type: 'VisionSensor',
        articleNumber: 'V2D654',
        serialNumber: 'S77',
        ip: '10.0.0.77',
        subnetMask: '255.255.0.0',
        defaultGateway: '10.0.0.254',
        networkMethod: 'DHCP',
        fwVersion: '3.1.4',
        hwVersion: 'B2',
        mac: '00:1A:2B:3C:4D:5E',
        ipOfAssociatedNic: '10.0.0.1',
        deviceState: 'WARNING',
        statusStringDetails: ['Lens dirty'],
      }),
      makeDevice({ name: 'Press 2' }),
      makeDevice({ name: 'Press 3' }),
    ];
    await withApp('live-full-state', { devices }, async ({ page }) => {
      const r = row(page, 'Press 1');
      await r.waitFor();
      // The page's store, read through its own module; the page puts nothing on window for tests.
      const held = await pageState(page);
      assert.deepEqual(
        held.devices.map((d) => [d.name, d.ip]),
        devices.map((d) => [d.name, d.ip]),
      );
      assert.deepEqual(await page.evaluate(() => Object.keys(window).filter((k) => /lnf|lanfinder/i.test(k))), []);
      const text = await r.innerText();
      for (const part of [
        'VisionSensor',
        'V2D654',
        'S77',
        '10.0.0.77',
        '255.255.0.0',
        '10.0.0.254',
        'DHCP',
        '3.1.4',
        'B2',
        '00:1A:2B:3C:4D:5E',
        '10.0.0.1',
        'Warning',
        'Lens dirty',
      ]) {
        assert.ok(text.includes(part), `row shows ${part}: ${text}`);
      }
      assert.equal((await shownRows(page)).length, 3);
      await visible(page, '#sb-devices', '3 devices');
      await visible(page, '#sb-connection-text', 'Connected');
    });
  });

  test('DiffsAddUpdateAndRemoveRowsInPlace', async () => {
    const a = makeDevice({ name: 'Alpha' });
    const b = makeDevice({ name: 'Bravo' });
    await withApp('live-diffs', { devices: [a, b] }, async ({ page, mock }) => {
      await row(page, 'Bravo').waitFor();
      // The row element of an unchanged device is kept across updates of others.
      await page.evaluate(() => {
        window.__keep = [...document.querySelectorAll('#rows tr[aria-rowindex]')].find((tr) => tr.textContent.includes('Bravo'));
      });
      mock.addDevice(makeDevice({ name: 'Charlie' }));
      await row(page, 'Charlie').waitFor();
      mock.updateDevice(a.id, { name: 'Alpha renamed', ip: '10.0.9.9' });
      // Each property arrives in a diff of its own, as from the application.
      await until(async () => (await row(page, 'Alpha renamed').innerText()).includes('10.0.9.9'), 'renamed row shows the new address');
      mock.removeDevice(a.id);
      // A device that left keeps its row in place for a while, dimmed and marked.
      await visible(page, '#rows tr.gone .status-label', 'Gone');
      assert.deepEqual(
        (await shownRows(page)).map((r) => [r.name, r.classes.includes('gone')]),
        [
          ['Alpha renamed', true],
          ['Bravo', false],
          ['Charlie', false],
        ],
      );
      await visible(page, '#row-count', '2 devices');
      assert.equal(await page.evaluate(() => window.__keep.isConnected && window.__keep.textContent.includes('Bravo')), true);
    });
  });

  test('ADeviceThatComesAndGoesHasOneToastThatCountsAndSaysItIsBack', async () => {
    const flaky = makeDevice({ name: 'Flaky' });
    const steady = makeDevice({ name: 'Steady' });
    await withApp('live-flapping', { devices: [flaky, steady] }, async ({ page, mock }) => {
      await row(page, 'Flaky').waitFor();
      const toastsOf = (name) => page.locator('#toasts .toast', { has: page.locator('.toast-device', { hasText: name }) });
      for (let i = 1; i <= 3; i++) {
        mock.notify('DeviceNoLongerAvailable');
        mock.removeDevice(flaky.id);
        await visible(page, '#rows tr.gone .name-text', 'Flaky');
        await until(async () => (await toastsOf('Flaky').innerText()).includes('no longer'), `left ${i}`);
        if (i > 1) assert.ok((await toastsOf('Flaky').innerText()).includes(`×${i}`), await toastsOf('Flaky').innerText());
        mock.addDevice(flaky);
        await until(async () => !(await row(page, 'Flaky').getAttribute('class')).includes('gone'), `back ${i}`);
        await until(async () => (await toastsOf('Flaky').innerText()).includes('answers again'), `back message ${i}`);
        assert.equal(await toastsOf('Flaky').count(), 1, 'one toast for the device');
      }
      assert.deepEqual(
        (await shownRows(page)).map((r) => r.name),
        ['Flaky', 'Steady'],
      );
      await page.click('#btn-messages');
      await visible(page, '#message-list li', 'answers again');
    });
  });

  test('BadgesShowFavouriteMissingUnreachableAndLogin', async () => {
    const devices = [
      makeDevice({ name: 'Fav', isFavorite: true }),
      makeDevice({ name: 'Gone', isFavorite: true, isMissing: true }),
      makeDevice({ name: 'Far', isAccessible: false, ip: '192.168.5.20', subnetMask: '255.255.255.0' }),
      makeDevice({ name: 'Locked', isAuthentication: true }),
    ];
    await withApp('live-badges', { devices }, async ({ page }) => {
      await row(page, 'Locked').waitFor();
      assert.equal(await row(page, 'Fav').locator('.star').getAttribute('aria-pressed'), 'true');
      assert.ok((await row(page, 'Gone').getAttribute('class')).includes('missing'));
      // Missing leads; the device's own last report stands beside it, not as a second state.
      assert.equal(await row(page, 'Gone').locator('.status-label').innerText(), 'Missing');
      assert.equal(await row(page, 'Gone').locator('.own-state').innerText(), 'device: Active');
      assert.equal(await row(page, 'Gone').locator('.dot.missing').count(), 1);
      assert.equal(await row(page, 'Gone').locator('.badge.missing, .dot.ACTIVE').count(), 0);
      assert.equal(await row(page, 'Far').locator('.status-label').innerText(), 'Not reachable');
      // Not reachable: the details say why and offer an address in the card's subnet.
      await row(page, 'Far').click();
      const alert = await visible(page, '#d-alerts .alert', 'outside the subnet of the card');
      assert.ok((await alert.innerText()).includes('10.0.0.0/16'));
      await alert.locator('button').click();
      assert.equal(await page.inputValue('#f-mask'), '255.255.0.0');
      assert.match(await page.inputValue('#f-ip'), /^10\.0\.\d+\.\d+$/);
      assert.equal(await page.isChecked('#f-fixed'), true);
      assert.equal(await row(page, 'Locked').locator('.login-mark').count(), 1);
      assert.equal(await row(page, 'Fav').locator('.login-mark').count(), 0);
      // The suggested address is an edit of Far: leaving it is asked first.
      await row(page, 'Locked').click();
      await visible(page, '#dlg-discard', 'Far');
      await page.click('#dlg-discard-confirm');
      await visible(page, '#d-badges .badge.auth');
      await visible(page, '#f-credentials');
    });
  });

  test('TwoDevicesWithOneAddressAreMarkedAsConflict', async () => {
    const a = makeDevice({ name: 'One', ip: '10.0.0.50' });
    const b = makeDevice({ name: 'Two', ip: '10.0.0.51' });
    await withApp('live-conflict', { devices: [a, b] }, async ({ page, mock }) => {
      await row(page, 'Two').waitFor();
      assert.equal(await page.locator('#rows td.conflict').count(), 0);
      mock.updateDevice(b.id, { ip: '10.0.0.50' });
      await until(async () => (await page.locator('#rows td.conflict').count()) === 2, 'both rows marked');
      await visible(page, '[data-count="conflicts"]', '2');
      await row(page, 'One').click();
      await visible(page, '#d-alerts .alert.err', 'also used by');
      await page.click('#d-alerts .linklike');
      await visible(page, '#d-title', 'Two');
      mock.updateDevice(b.id, { ip: '10.0.0.52' });
      await until(async () => (await page.locator('#rows td.conflict').count()) === 0, 'conflict cleared');
    });
  });

  test('ProtocolStateNoCardsAndCardsAreShown', async () => {
    await withApp('live-protocol', { devices: [makeDevice({ name: 'X' })] }, async ({ page, mock }) => {
      await row(page, 'X').waitFor();
      assert.equal(await page.isVisible('#banner-protocol'), false);
      mock.setApp('protocolState', { available: false, details: 'Cannot bind 10.1.2.3:33002' });
      await visible(page, '#banner-protocol', 'Discovery is not running');
      await visible(page, '#protocol-details', 'Cannot bind 10.1.2.3:33002');
      mock.setApp('protocolState', { available: true, details: '' });
      await hidden(page, '#banner-protocol');

      await page.click('#btn-nics');
      const dlg = await visible(page, '#dlg-nics .nic', 'eth0');
      const text = await dlg.innerText();
      assert.ok(text.includes('10.0.0.1 / 255.255.0.0') && text.includes('02:00:00:00:00:01'), text);
      await page.keyboard.press('Escape');
      mock.setApp('nics', []);
      await visible(page, '#banner-nics', 'No wired network card');
      await visible(page, '#nic-count', '0');
    });
  });

  test('AnEmptyListSaysThatDevicesAreBeingSearched', async () => {
    await withApp('live-empty', { devices: [] }, async ({ page, mock }) => {
      await visible(page, '#empty-title', 'Searching for devices');
      mock.addDevice(makeDevice({ name: 'First' }));
      await row(page, 'First').waitFor();
      await hidden(page, '#empty');
    });
  });

  test('NotificationsBecomeTranslatedToastsAndUnknownTextsStayAsTheyAre', async () => {
    const a = makeDevice({ name: 'Leaving' });
    await withApp('live-notifications', { devices: [a, makeDevice({ name: 'Stays' })] }, async ({ page, mock }) => {
      await row(page, 'Leaving').waitFor();
      // The application posts the notice, then removes the device: both in one diff.
      mock.notify('DeviceNoLongerAvailable');
      mock.removeDevice(a.id);
      const toast = await visible(page, '#toasts .toast', 'A device no longer answers');
      assert.ok((await toast.innerText()).includes('Leaving'), 'names the device that left');
      mock.notify('A text nobody translated <b>x</b>');
      mock.tick();
      await visible(page, '#toasts .toast', 'A text nobody translated <b>x</b>');
      assert.equal(await page.locator('#toasts b').count(), 0);
      // Toasts go; the session's messages stay, newest first.
      await visible(page, '#messages-count', '2');
      await page.click('#btn-messages');
      const items = await page.$$eval('#message-list li', (lis) => lis.map((li) => li.innerText.replace(/\s+/g, ' ')));
      assert.equal(items.length, 2);
      assert.ok(items[0].includes('A text nobody translated'));
      assert.ok(items[1].includes('A device no longer answers') && items[1].includes('Leaving'));
    });
  });
});
