// Dotted IPv4 handling for the change form, the conflict check and the
// reachability hints. Addresses are kept as unsigned 32-bit numbers.

const DOTTED = /^(0|[1-9][0-9]{0,2})\.(0|[1-9][0-9]{0,2})\.(0|[1-9][0-9]{0,2})\.(0|[1-9][0-9]{0,2})$/;

/** Parses a strict dotted IPv4 text ("10.0.0.1"); null when it is not one. */
export function parseIPv4(text) {
  if (typeof text !== 'string') return null;
  // Leading zeros are refused: some stacks read "010" as octal.
  const m = DOTTED.exec(text.trim());
  if (!m) return null;
  let n = 0;
  for (let i = 1; i <= 4; i++) {
    const part = Number(m[i]);
    if (part > 255) return null;
    n = n * 256 + part;
  }
  return n >>> 0;
}

export function formatIPv4(n) {
  n >>>= 0;
  return [n >>> 24, (n >>> 16) & 255, (n >>> 8) & 255, n & 255].join('.');
}

/** A mask is valid when its one bits are contiguous from the top. */
export function isContiguousMask(n) {
  n >>>= 0;
  const inverted = ~n >>> 0;
  return ((inverted + 1) & inverted) === 0;
}

export function prefixLength(mask) {
  let bits = 0;
  for (let m = mask >>> 0; m & 0x80000000; m = (m << 1) >>> 0) bits++;
  return bits;
}

export function networkOf(ip, mask) {
  return (ip & mask) >>> 0;
}

export function sameSubnet(a, b, mask) {
  return (a & mask) >>> 0 === (b & mask) >>> 0;
}

/** "192.168.1.0/24" for an address and its mask, or "" when either is not dotted IPv4. */
export function subnetText(ipText, maskText) {
  const ip = parseIPv4(ipText);
  const mask = parseIPv4(maskText);
  if (ip === null || mask === null || !isContiguousMask(mask)) return '';
  return `${formatIPv4(networkOf(ip, mask))}/${prefixLength(mask)}`;
}

/** Numeric sort key for an address text; texts that are not addresses sort after all addresses. */
export function ipSortKey(text) {
  const n = parseIPv4(text);
  return n === null ? Number.MAX_SAFE_INTEGER : n;
}

/**
 * Checks the address settings a user typed. Returns an object with one
 * translation key per faulty field ("ip", "subnetMask", "defaultGateway");
 * an empty object means the settings can be sent.
 */
export function validateAddressSettings({ ip, subnetMask, defaultGateway }) {
  const errors = {};
  const a = parseIPv4(ip);
  const m = parseIPv4(subnetMask);
  const g = parseIPv4(defaultGateway);

  if (m === null) errors.subnetMask = 'error.ipv4';
  else if (!isContiguousMask(m) || m === 0) errors.subnetMask = 'error.maskContiguous';

  if (a === null) errors.ip = 'error.ipv4';
  else if (a === 0 || a >>> 24 === 0) errors.ip = 'error.ipThisNetwork';
  else if (a >>> 24 === 127) errors.ip = 'error.ipLoopback';
  else if (a >>> 28 >= 14) errors.ip = 'error.ipMulticast';
  else if (m !== null && !errors.subnetMask && prefixLength(m) <= 30) {
    const host = (a & ~m) >>> 0;
    if (host === 0) errors.ip = 'error.ipNetworkAddress';
    else if (host === ~m >>> 0) errors.ip = 'error.ipBroadcastAddress';
  }

  if (g === null) errors.defaultGateway = 'error.ipv4';
  else if (g !== 0) {
    if (a !== null && g === a) errors.defaultGateway = 'error.gatewayIsIp';
    else if (a !== null && m !== null && !errors.subnetMask && !errors.ip && !sameSubnet(a, g, m)) {
      errors.defaultGateway = 'error.gatewayOutsideSubnet';
    }
  }
  return errors;
}

/**
 * Picks an address in the subnet of a PC card that no known device and no card
 * uses, starting after the card's own address. Null when the subnet is full
 * or the card's data is not usable.
 */
export function suggestFreeAddress(cardIp, cardMask, usedTexts) {
  const ip = parseIPv4(cardIp);
  const mask = parseIPv4(cardMask);
  if (ip === null || mask === null || !isContiguousMask(mask)) return null;
  const bits = prefixLength(mask);
  if (bits > 30 || bits < 8) return null;
  const used = new Set();
  for (const t of usedTexts) {
    const n = parseIPv4(t);
    if (n !== null) used.add(n);
  }
  const net = networkOf(ip, mask);
  const hosts = (~mask >>> 0) - 1;
  const start = (ip - net) >>> 0;
  // A bounded walk: large subnets are not scanned to the end.
  const tries = Math.min(hosts, 4096);
  for (let i = 1; i <= tries; i++) {
    const host = ((start - 1 + i) % hosts) + 1;
    const candidate = (net + host) >>> 0;
    if (candidate !== ip && !used.has(candidate)) return formatIPv4(candidate);
  }
  return null;
}
