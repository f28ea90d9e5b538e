// The page: language, port choice, the reading and its lines, the session's readings and their exports.
"use strict";

const LANGUAGE_KEY = "bravelle.language";
const READINGS_KEY = "bravelle.readings";
const CP210X_VENDOR = 0x10c4;  // Silicon Labs: our units' cables

const $ = (id) => document.getElementById(id);
const page = {
  core: null,
  line: new SerialLine(),
  texts: {},
  language: 0,
  ports: [],          // { port, label }, the granted ports still plugged in
  labels: new WeakMap(),
  chosen: null,       // the label of the port the next reading uses
  picked: null,       // the label the user chose in the browser's chooser, kept while it is plugged in
  lost: null,         // the label of a chosen port that was unplugged
  reading: false,
  noSerial: !("serial" in navigator),
};

function fill(text, ...args) {
  return args.reduce((t, a) => t.replace("%s", a), text);
}

function firstLanguage() {
  const stored = localStorage.getItem(LANGUAGE_KEY);
  if (stored === "0" || stored === "1") return Number(stored);
  return (navigator.language || "").toLowerCase().startsWith("fr") ? 0 : 1;
}

function setLanguage(language) {
  page.language = language;
  localStorage.setItem(LANGUAGE_KEY, String(language));
  page.texts = JSON.parse(page.core.ccall("web_texts", "string", ["number"], [language]));
  document.documentElement.lang = language === 0 ? "fr" : "en";
  document.title = "Bravelle";
  $("title").textContent = page.texts.title;
  for (const el of document.querySelectorAll("[data-text]")) el.textContent = page.texts[el.dataset.text];
  for (const b of document.querySelectorAll("[data-language]")) {
    b.textContent = page.texts.languageNames[b.dataset.language];
    b.setAttribute("aria-pressed", String(Number(b.dataset.language) === language));
  }
  showPortState();
  showReadings();
}

function say(text, failed) {
  $("alert").hidden = !failed;
  $("alert").textContent = failed ? text : "";
  if (!failed) $("status").textContent = text;
}

function enableButtons() {
  const idle = !page.reading && !page.noSerial;
  $("choose").disabled = !idle;
  $("other").disabled = !idle;
  $("read").disabled = !idle || page.chosen === null;
  $("cancel").hidden = !page.reading;
  for (const b of document.querySelectorAll("[data-language]")) b.disabled = page.reading;
}

function showPortState() {
  enableButtons();
  if (page.reading) return;
  if (page.noSerial) {
    $("status").textContent = "";
    say(page.texts.noWebSerial, true);
  } else if (page.chosen !== null) {
    $("status").textContent = fill(page.texts.portReady, page.chosen);
  } else if (page.lost !== null) {
    $("status").textContent = fill(page.texts.portGoneIdle, page.lost);
  } else if (page.ports.length > 1) {
    $("status").textContent = page.texts.severalPorts;
  } else {
    $("status").textContent = page.texts.noPortYet;
  }
}

function hex4(n) {
  return n.toString(16).toUpperCase().padStart(4, "0");
}

// A port has no name in the browser: it is named by its adapter's USB ids, a
// number added when two of the same kind are granted.
function labelOf(port) {
  let label = page.labels.get(port);
  if (label) return label;
  const info = port.getInfo();
  const base = info.usbVendorId !== undefined ? `usb:${hex4(info.usbVendorId)}:${hex4(info.usbProductId)}` : "serial";
  const taken = new Set(page.ports.map((p) => p.label).concat([...page.line.ports.keys()]));
  label = base;
  for (let n = 2; taken.has(label); ++n) label = `${base}#${n}`;
  page.labels.set(port, label);
  return label;
}

// The USB vendor id as the core's port rules take it, four lowercase hex digits; empty without one.
function vendorOf(port) {
  const id = port.getInfo().usbVendorId;
  return id === undefined ? "" : id.toString(16).padStart(4, "0");
}

// The web form of the window's idle watch and of auto: the ports granted
// before are used without asking; plugging and unplugging update the choice.
async function refreshPorts() {
  // While a reading is suspended in the core nothing else may call it (ccall would
  // take the reading's promise for its own); the reading refreshes when it ends.
  if (page.noSerial || page.reading) return;
  const granted = (await navigator.serial.getPorts()).filter((p) => p.connected !== false);
  page.ports = [];
  for (const port of granted) {
    page.ports.push({ port, label: labelOf(port) });
  }
  page.line.ports = new Map(page.ports.map((p) => [p.label, p.port]));
  const before = page.chosen;
  if (page.picked !== null && page.ports.some((p) => p.label === page.picked)) {
    page.chosen = page.picked;
  } else {
    // The core's port rules decide which is preferred, from the USB vendor id.
    const vendors = page.ports.map((p) => vendorOf(p.port) + ";").join("");
    const index = page.core.ccall("web_auto_port", "number", ["string"], [vendors]);
    page.chosen = index >= 0 ? page.ports[index].label : null;
  }
  if (page.chosen !== null) page.lost = null;
  else if (before !== null) page.lost = before;
  showPortState();
}

async function choosePort(filtered) {
  say("", false);
  try {
    const port = await navigator.serial.requestPort(filtered ? { filters: [{ usbVendorId: CP210X_VENDOR }] } : {});
    page.picked = labelOf(port);
  } catch (e) {
    if (e.name === "NotFoundError") say(page.texts.chooserClosed, true);
    else say(fill(page.texts.chooserFailed, e.message), true);
  }
  await refreshPorts();
}

async function read() {
  if (page.reading || page.chosen === null) return;
  page.reading = true;
  enableButtons();
  say("", false);
  $("identity").hidden = true;
  $("status").textContent = "";
  const earlier = storedReadings().map((r) => r.json).join("\n");
  // This reading's lines, shown as each step is done and completed at its end.
  page.live = document.createElement("div");
  $("pane").append(page.live);
  let answer;
  try {
    answer = JSON.parse(await page.core.ccall("web_read", "string", ["string", "number", "string"],
                                              [page.chosen, page.language, earlier], { async: true }));
  } catch (e) {
    // The core itself failed: say so rather than leave the buttons dead.
    answer = { pane: [], message: String(e && e.message || e) };
  } finally {
    page.reading = false;
  }
  showPane(answer.pane);
  page.live.replaceWith(...page.live.childNodes);
  page.live = null;
  if (answer.identity) {
    $("serial").textContent = answer.identity.serial;
    $("circuit").textContent = answer.identity.circuit;
    $("software").textContent = answer.identity.software;
    $("identity").hidden = false;
  }
  if (answer.json) {
    const readings = storedReadings();
    readings.push({ json: answer.json, csv: answer.csv });
    localStorage.setItem(READINGS_KEY, JSON.stringify(readings));
    showReadings();
  }
  await refreshPorts();
  if (answer.message) say(answer.message, true);
  document.body.dataset.readings = String(Number(document.body.dataset.readings || 0) + 1);
}

function showPane(texts) {
  if (!page.live) return;
  page.live.textContent = "";
  for (const text of texts) {
    const line = document.createElement("div");
    line.className = "line";
    line.textContent = text;
    page.live.append(line);
  }
  $("pane").scrollTop = $("pane").scrollHeight;
}

function cancel() {
  if (!page.reading) return;
  page.core._web_cancel();  // a raw call: see refreshPorts
  page.line.interrupt();
  $("status").textContent = page.texts.cancelling;
}

function storedReadings() {
  try {
    const readings = JSON.parse(localStorage.getItem(READINGS_KEY) || "[]");
    return Array.isArray(readings) ? readings : [];
  } catch (e) {
    return [];
  }
}

function showReadings() {
  const rows = $("rows");
  rows.textContent = "";
  const readings = storedReadings();
  for (const r of readings) {
    const record = JSON.parse(r.json);
    const tr = document.createElement("tr");
    const cells = [new Date(record.time).toLocaleString(page.language === 0 ? "fr-FR" : "en-GB"), record.port,
                   record.serial_text, record.circuit, record.software, page.texts["outcome-" + record.outcome],
                   record.repeat ? page.texts.columnRepeat : ""];
    cells.forEach((value, i) => {
      const td = document.createElement("td");
      td.textContent = value === undefined ? "" : String(value);
      if (i === 5 && record.outcome !== "ok") td.className = "failed";
      tr.append(td);
    });
    rows.append(tr);
  }
  $("no-readings").hidden = readings.length > 0;
  $("export-csv").disabled = $("export-jsonl").disabled = $("clear").disabled = readings.length === 0;
}

function download(name, type, text) {
  const a = document.createElement("a");
  a.href = URL.createObjectURL(new Blob([text], { type }));
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

// The same files as bravelle-cli's --csv and --log: its header, rows and line ends.
function exportCsv() {
  const header = page.core.ccall("web_csv_header", "string", [], []);
  const rows = storedReadings().map((r) => r.csv + "\r\n").join("");
  download("bravelle-readings.csv", "text/csv;charset=utf-8", header + "\r\n" + rows);
}

function exportJsonl() {
  download("bravelle-readings.jsonl", "application/jsonl", storedReadings().map((r) => r.json + "\n").join(""));
}

function clearReadings() {
  if (!confirm(page.texts.clearConfirm)) return;
  localStorage.removeItem(READINGS_KEY);
  showReadings();
}

async function start() {
  page.core = await Bravelle({
    serialLine: page.line,
    onProgress: (text) => { $("status").textContent = text; },
    onPane: showPane,
  });
  setLanguage(firstLanguage());
  for (const b of document.querySelectorAll("[data-language]")) {
    b.addEventListener("click", () => setLanguage(Number(b.dataset.language)));
  }
  $("choose").addEventListener("click", () => choosePort(true));
  $("other").addEventListener("click", () => choosePort(false));
  $("read").addEventListener("click", read);
  $("cancel").addEventListener("click", cancel);
  $("export-csv").addEventListener("click", exportCsv);
  $("export-jsonl").addEventListener("click", exportJsonl);
  $("clear").addEventListener("click", clearReadings);
  if (!page.noSerial) {
    navigator.serial.addEventListener("connect", refreshPorts);
    navigator.serial.addEventListener("disconnect", refreshPorts);
    await refreshPorts();
  }
  if ("serviceWorker" in navigator) {
    try {
      await navigator.serviceWorker.register("sw.js");
    } catch (e) {
      console.warn("no offline copy:", e.message);
    }
  }
  performance.mark("bravelle-ready");
  document.body.dataset.ready = "1";
}

start();
