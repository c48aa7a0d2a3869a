// The five requests the application accepts. Every key is required by the
// application and every value except "isFavorite" must be a string, so the
// builders always fill every key.

let counter = 0;
const session = Math.random().toString(36).slice(2, 8);

export function nextRequestId() {
  counter += 1;
  return `${session}-${counter}`;
}

const text = (v) => (v === null || v === undefined ? '' : String(v));

export function changeDevice({ deviceId, name, ip, subnetMask, defaultGateway, networkMethod, username, password }, reqId = nextRequestId()) {
  // "Unknown" is only sent back for a device that reports no method, so a
  // rename does not change how it gets its address.
  if (networkMethod !== 'DHCP' && networkMethod !== 'PersistentIP' && networkMethod !== 'Unknown') {
    throw new Error('networkMethod must be DHCP, PersistentIP or Unknown');
  }
  return {
    reqType: 'ChangeDevice',
    reqId,
    deviceId: text(deviceId),
    name: text(name),
    ip: text(ip),
    subnetMask: text(subnetMask),
    networkMethod,
    defaultGateway: text(defaultGateway),
    username: text(username),
    password: text(password),
  };
}

export function setFavorite(deviceId, isFavorite, reqId = nextRequestId()) {
  return { reqType: 'SetFavorite', reqId, deviceId: text(deviceId), isFavorite: Boolean(isFavorite) };
}

export function setLanguage(language, reqId = nextRequestId()) {
  return { reqType: 'SetLanguage', reqId, language: text(language) };
}

export function setTheme(theme, reqId = nextRequestId()) {
  return { reqType: 'SetTheme', reqId, theme: text(theme) };
}

export function localize(deviceId, username, password, reqId = nextRequestId()) {
  return { reqType: 'Localize', reqId, deviceId: text(deviceId), username: text(username), password: text(password) };
}
