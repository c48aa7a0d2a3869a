// The fixed address the page offers a device that cannot be reached: one in
// the subnet of the card the device was found on that nothing is known to
// hold. No DOM here.

import { parseIPv4, subnetText, suggestFreeAddress } from './ipv4.js';
import { nicOfDevice } from './state.js';

/**
 * { ip, subnetMask, defaultGateway, nic, address } for the device, or null
 * when its card is unknown or its subnet has no address left. Skipped: the
 * address of every listed device, every address and gateway of the PC's
 * cards, and `taken` (addresses the application found a host on). The
 * network and broadcast addresses are never offered.
 */
export function offeredAddress(state, device, taken = []) {
  const nic = nicOfDevice(state, device);
  const address = nic && Array.isArray(nic.addresses) ? nic.addresses.find((a) => a && a.ip === device.ipOfAssociatedNic) : null;
  if (!address) return null;
  const used = [...taken];
  for (const d of state.devices.values()) used.push(d.ip);
  for (const n of state.nics) {
    for (const a of Array.isArray(n.addresses) ? n.addresses : []) used.push(a && a.ip);
    // In a plant the gateway's neighbours are often a PLC or a switch; the
    // gateway itself may not be answering this PC's ARP just now.
    for (const g of Array.isArray(n.gateways) ? n.gateways : []) used.push(g);
  }
  const ip = suggestFreeAddress(address.ip, address.subnetMask, used);
  if (!ip) return null;
  const subnet = subnetText(address.ip, address.subnetMask);
  const defaultGateway =
    (nic.gateways || []).find((g) => parseIPv4(g) !== null && g !== '0.0.0.0' && subnetText(g, address.subnetMask) === subnet) || '0.0.0.0';
  return { ip, subnetMask: address.subnetMask, defaultGateway, nic, address };
}
