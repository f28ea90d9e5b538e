// The serial ports the page may use: their labels, the browser's chooser, the port the next reading uses
// and what the page says of it.
import { autoPortIndex, serialised } from "./core.js";
import { page } from "./state.js";
import { fixtureOf, portTitle } from "./station.js";
import { $, enableButtons, fill, say } from "./view.js";

const CP210X_VENDOR = 0x10c4;  // Silicon Labs: our units' cables
// Chrome for Android offers wired ports for few adapters, by public reports not our cables' CP210x.
const ANDROID = /Android/i.test(navigator.userAgent) || navigator.userAgentData?.platform === "Android";

const labels = new WeakMap();  // port -> its label
const held = new Set();        // every label given in this page's life: never given to another port
const listeners = [];          // told after every look at the ports
let picked = null;             // the port the user chose in the browser's chooser: the one read, or none
let lost = null;               // the label of a chosen port that was unplugged

export function hex4(n) {
  return n.toString(16).toUpperCase().padStart(4, "0");
}

// A port has no name in the browser: it is named by its adapter's USB ids, a number added when two of
// the same kind are granted; a Bluetooth serial port (as Chrome for Android offers) by its service; any
// other by its number among them, "serial" alone telling the technician nothing. A label stays with its
// port for the page's life, plugged in or not, so that a cable plugged back is never taken for another
// of the same kind.
export function labelOf(port) {
  let label = labels.get(port);
  if (label) return label;
  const info = port.getInfo();
  const service = info.bluetoothServiceClassId;
  const base = info.usbVendorId !== undefined ? `usb:${hex4(info.usbVendorId)}:${hex4(info.usbProductId)}`
             : service !== undefined ? "bluetooth:" + serviceName(service) : "serial";
  label = base === "serial" ? "serial#1" : base;
  for (let n = 2; held.has(label); ++n) label = `${base}#${n}`;
  labels.set(port, label);
  held.add(label);
  return label;
}

// A Bluetooth service class by its short number where it has one ("1101", the serial port profile).
function serviceName(service) {
  if (typeof service === "number") return hex4(service);
  const short = /^0000([0-9a-f]{4})-0000-1000-8000-00805f9b34fb$/i.exec(service);
  return short ? short[1].toUpperCase() : service;
}

// The USB vendor id as the core's port rules take it, four lowercase hex digits; empty without one.
function vendorOf(port) {
  const id = port.getInfo().usbVendorId;
  return id === undefined ? "" : id.toString(16).padStart(4, "0");
}

export function whenPortsLooked(listener) {
  listeners.push(listener);
}

// The web form of the window's idle watch and of auto: the ports granted before are used without asking;
// plugging and unplugging update the choice. A call into the core: only inside serialised.
export async function refreshPorts() {
  if (page.noSerial) return;
  const granted = (await navigator.serial.getPorts()).filter((p) => p.connected !== false);
  page.ports = granted.map((port) => ({ port, label: labelOf(port) }));
  page.line.ports = new Map(page.ports.map((p) => [p.label, p.port]));
  const before = page.chosen;
  page.chosen = choice();
  if (page.chosen !== null) lost = null;
  else if (before !== null) lost = before;
  else if (picked !== null) lost = labelOf(picked);
  showPortState();
  for (const listener of listeners) listener();
}

function choice() {
  // The port the user picked, or none: never another one in its place.
  if (picked !== null) return page.ports.some((p) => p.port === picked) ? labelOf(picked) : null;
  // The core's port rules decide which is preferred, from the USB vendor id.
  const index = autoPortIndex(page.ports.map((p) => vendorOf(p.port) + ";").join(""));
  return index >= 0 ? page.ports[index].label : null;
}

export async function choosePort(filtered) {
  say("", false);
  try {
    picked = await navigator.serial.requestPort(filtered ? { filters: [{ usbVendorId: CP210X_VENDOR }] } : {});
    labelOf(picked);
  } catch (e) {
    // On a phone the chooser may have offered nothing: what works instead is said.
    if (e.name === "NotFoundError") say(ANDROID ? page.texts.androidNoPort : page.texts.chooserClosed, true);
    else say(fill(page.texts.chooserFailed, e.message), true);
  }
  await serialised(refreshPorts);
}

export function showPortState() {
  enableButtons();
  $("port-name").value = page.chosen !== null ? fixtureOf(page.chosen) : "";
  $("port-name").disabled = page.chosen === null;
  if (page.reading) return;
  if (page.noSerial) {
    $("status").textContent = "";
    say(page.texts.noWebSerial, true);
  } else if (page.chosen !== null) {
    $("status").textContent = fill(page.texts.portReady, portTitle(page.chosen));
  } else if (lost !== null) {
    $("status").textContent = fill(page.texts.portGoneIdle, portTitle(lost));
  } else if (page.ports.length > 1) {
    $("status").textContent = page.texts.severalPorts;
  } else {
    $("status").textContent = page.texts.noPortYet;
  }
}
