// The change form: what it sends, what it refuses, and how a change's
// phases and outcome are shown.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { useBrowser, withApp, row, until, visible, hidden } from '../support/fixture.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

useBrowser();

const cam = (o = {}) => makeDevice({ name: 'Cam', ip: '10.0.0.20', subnetMask: '255.255.0.0', defaultGateway: '0.0.0.0', networkMethod: 'PersistentIP', ...o });

async function openCam(page, name = 'Cam') {
  await row(page, name).click();
  await visible(page, '#d-title', name);
}

describe('ChangeForm', () => {
  test('AFixedAddressChangeSendsEveryKeyWithTheNewSettings', async () => {
    const d = cam();
    await withApp('change-fixed', { devices: [d] }, async ({ page, mock }) => {
      await openCam(page);
      await page.fill('#f-ip', '10.0.5.5');
      await page.fill('#f-gateway', '10.0.0.254');
      await page.fill('#f-name', 'Cam east');
      await page.click('#f-apply');
      const req = await mock.waitForRequest('ChangeDevice');
      assert.deepEqual(
        { ...req, reqId: undefined },
        {
          reqType: 'ChangeDevice',
          reqId: undefined,
          deviceId: d.id,
          name: 'Cam east',
          ip: '10.0.5.5',
          subnetMask: '255.255.0.0',
          networkMethod: 'PersistentIP',
          defaultGateway: '10.0.0.254',
          username: '',
          password: '',
        },
      );
    });
  });

  test('DhcpSendsTheCurrentAddresses', async () => {
    const d = cam();
    await withApp('change-dhcp', { devices: [d] }, async ({ page, mock }) => {
      await openCam(page);
      await page.check('#f-dhcp');
      assert.equal(await page.isDisabled('#f-ip'), true);
      await page.click('#f-apply');
      const req = await mock.waitForRequest('ChangeDevice');
      assert.equal(req.networkMethod, 'DHCP');
      assert.deepEqual([req.ip, req.subnetMask, req.defaultGateway], ['10.0.0.20', '255.255.0.0', '0.0.0.0']);
    });
  });

  test('BadAddressesAreRefusedBeforeSending', async () => {
    const d = cam();
    const other = makeDevice({ name: 'Other', ip: '10.0.0.30' });
    await withApp('change-invalid', { devices: [d, other] }, async ({ page, mock }) => {
      await openCam(page);
      await page.fill('#f-ip', '10.0.0.300');
      await page.fill('#f-mask', '255.0.255.0');
      await page.fill('#f-gateway', '192.168.1.1');
      await page.click('#f-apply');
      await visible(page, '#e-ip', 'four numbers');
      await visible(page, '#e-mask', 'Not a subnet mask');
      assert.equal(await page.getAttribute('#f-ip', 'aria-invalid'), 'true');
      assert.equal(await page.evaluate(() => document.activeElement.id), 'f-ip');
      await page.fill('#f-mask', '255.255.0.0');
      await page.fill('#f-ip', '10.0.0.30');
      await page.click('#f-apply');
      await visible(page, '#e-ip', 'Already used by Other');
      await visible(page, '#e-gateway', 'must be in the device');
      await page.fill('#f-ip', '10.0.0.31');
      await page.fill('#f-gateway', '0.0.0.0');
      await page.click('#f-apply');
      const req = await mock.waitForRequest('ChangeDevice');
      assert.equal(req.ip, '10.0.0.31');
      assert.equal(mock.requests.filter((r) => r.reqType === 'ChangeDevice').length, 1, 'the refused attempts sent nothing');
    });
  });

  test('ALoginIsAskedForWhenTheDeviceWantsOne', async () => {
    const d = cam({ isAuthentication: true });
    await withApp('change-login', { devices: [d] }, async ({ page, mock }) => {
      await openCam(page);
      await page.fill('#f-name', 'Renamed');
      await page.click('#f-apply');
      await visible(page, '#e-credentials', 'user name and password');
      await page.fill('#f-user', 'admin');
      await page.fill('#f-password', 'wrong');
      await page.click('#f-apply');
      const req = await mock.waitForRequest('ChangeDevice');
      assert.equal(req.username, 'admin');
      assert.equal(req.password, 'wrong');
      // The application reports the device's refusal as a notification.
      mock.notify('Not authorized');
      mock.tick();
      const toast = await visible(page, '#toasts .toast.error', 'Not authorized');
      assert.ok((await toast.innerText()).includes('Cam'), 'names the device');
      // The form is usable again with the typed values kept, to retry.
      await until(async () => !(await page.isDisabled('#f-apply')), 'form unlocked');
      assert.equal(await page.inputValue('#f-name'), 'Renamed');
    });
  });

  test('AnAddressChangeShowsPendingApplyingRestartingAndTheOutcome', async () => {
    const d = cam();
    await withApp('change-phases', { devices: [d] }, async ({ page, mock }) => {
      await openCam(page);
      await page.fill('#f-ip', '10.0.7.7');
      await page.click('#f-apply');
      await mock.waitForRequest('ChangeDevice');
      // As the application does: pending, accepted, silent, back with the new address.
      mock.updateDevice(d.id, { shouldProcess: true });
      await visible(page, '#rows .dot.pending');
      await visible(page, '#f-progress', 'accept the change');
      assert.equal(await page.isDisabled('#f-apply'), true);
      mock.updateDevice(d.id, { isProcessing: true, processingStartedTime: new Date().toISOString().slice(0, 19) });
      await visible(page, '#rows .dot.processing');
      await visible(page, '#f-progress', 'applying the new settings');
      mock.updateDevice(d.id, { isRebooting: true });
      await visible(page, '#rows .status-label', 'Restarting');
      await visible(page, '#f-progress', 'restarting');
      await page.screenshot({ path: new URL('../artifacts/change-rebooting.png', import.meta.url).pathname });
      mock.notify('Configuration changed successfully');
      mock.updateDevice(d.id, { ip: '10.0.7.7' });
      mock.updateDevice(d.id, { shouldProcess: false, isProcessing: false, isRebooting: false }, { oneDiff: true });
      const toast = await visible(page, '#toasts .toast.success', 'The settings were changed');
      assert.ok((await toast.innerText()).includes('Cam'));
      await hidden(page, '#f-progress');
      await until(async () => (await page.inputValue('#f-ip')) === '10.0.7.7', 'form shows the new address');
      assert.equal(await page.locator('#rows .badge').count(), 0);
      assert.equal(await page.isDisabled('#f-apply'), false);
    });
  });

  test('APendingChangeTheDeviceNeverTookCanBeCancelled', async () => {
    const d = cam({ shouldProcess: true });
    await withApp('change-cancel', { devices: [d] }, async ({ page, mock }) => {
      await openCam(page);
      await visible(page, '#f-cancel-pending');
      await page.click('#f-cancel-pending');
      const req = await mock.waitForRequest('ChangeDevice');
      assert.deepEqual(
        [req.name, req.ip, req.subnetMask, req.defaultGateway, req.networkMethod],
        ['Cam', '10.0.0.20', '255.255.0.0', '0.0.0.0', 'PersistentIP'],
      );
    });
  });

  test('AMissingDeviceCannotBeChangedOrLocalized', async () => {
    const d = cam({ isMissing: true, isFavorite: true });
    await withApp('change-missing', { devices: [d] }, async ({ page, mock }) => {
      await openCam(page);
      await visible(page, '#d-alerts', 'does not hear from this device');
      assert.equal(await page.isDisabled('#f-apply'), true);
      assert.equal(await page.isDisabled('#d-localize'), true);
      await visible(page, '#d-actions-why', 'does not answer');
      mock.updateDevice(d.id, { isMissing: false });
      await until(async () => !(await page.isDisabled('#f-apply')), 'enabled once it answers');
      await hidden(page, '#d-actions-why');
      // Missing since the program started: its first answer is no news.
      assert.equal(await page.locator('#toasts .toast', { hasText: 'answers again' }).count(), 0);
      mock.updateDevice(d.id, { isMissing: true });
      mock.updateDevice(d.id, { isMissing: false });
      await visible(page, '#toasts .toast', 'answers again');
    });
  });

  test('TheOutcomeTheProgramNamesEndsTheWaitOfThatDeviceAlone', async () => {
    const a = cam();
    const b = cam({ name: 'Other', ip: '10.0.0.21' });
    await withApp('change-named-outcome', { devices: [a, b] }, async ({ page, mock }) => {
      // Two renames wait at once: the text alone cannot tell whose outcome it is.
      await openCam(page, 'Other');
      await page.fill('#f-name', 'Other 2');
      await page.click('#f-apply');
      await visible(page, '#f-progress-text', 'answer');
      await openCam(page, 'Cam');
      await page.fill('#f-name', 'Cam 2');
      await page.click('#f-apply');
      await visible(page, '#f-progress-text', 'answer');
      mock.notify('No answer from the device', a.id);
      mock.tick();
      await visible(page, '#f-outcome.error', 'No answer from the device');
      await hidden(page, '#f-progress');
      assert.equal(await page.inputValue('#f-name'), 'Cam 2');
      const toast = await visible(page, '#toasts .toast.error', 'No answer from the device');
      assert.ok((await toast.innerText()).includes('Cam'), await toast.innerText());
      // The outcome of Other, when it comes, is Other's alone. (The edit of
      // Cam is kept for another try, so leaving it is asked.)
      await row(page, 'Other').click();
      await visible(page, '#dlg-discard');
      await page.click('#dlg-discard-confirm');
      await visible(page, '#d-title', 'Other');
      mock.notify('Configuration changed successfully', b.id);
      mock.tick();
      await visible(page, '#f-outcome.success', 'The settings were changed');
      const done = await visible(page, '#toasts .toast.success', 'The settings were changed');
      assert.ok((await done.innerText()).includes('Other'), await done.innerText());
    });
  });

  test('AChangeTheProgramRefusesSaysSoInTheForm', async () => {
    const d = cam();
    await withApp('change-refused', { devices: [d], behaviour: { answerRequests: false } }, async ({ page }) => {
      await openCam(page);
      await page.fill('#f-name', 'Cam 3');
      await page.click('#f-apply');
      await visible(page, '#f-outcome.error', 'did not accept the request', 20000);
      assert.equal(await page.inputValue('#f-name'), 'Cam 3');
      assert.equal(await page.isEnabled('#f-apply'), true);
    });
  });

  test('UntouchedFieldsFollowTheDeviceAndEditedOnesStay', async () => {
    const d = cam();
    await withApp('change-live-form', { devices: [d] }, async ({ page, mock }) => {
      await openCam(page);
      await page.fill('#f-name', 'My edit');
      mock.updateDevice(d.id, { name: 'From device', subnetMask: '255.255.255.0' });
      await until(async () => (await page.inputValue('#f-mask')) === '255.255.255.0', 'mask follows');
      assert.equal(await page.inputValue('#f-name'), 'My edit');
      await page.click('#f-reset');
      assert.equal(await page.inputValue('#f-name'), 'From device');
    });
  });
});
