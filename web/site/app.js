// The page: language, port choice, the reading and its lines, plug-and-read, the readings kept in the
// browser, their pages and exports.
"use strict";

const CP210X_VENDOR = 0x10c4;  // Silicon Labs: our units' cables
const PAGE_ROWS = 50;          // the readings table shows this many at a time
const AUTO_RETRY_MS = 1000;    // plug-and-read looks at a port it could not use again after this

const $ = (id) => document.getElementById(id);
const page = {
  core: null,
  line: new SerialLine(),
  texts: {},
  language: 0,
  ports: [],          // { port, label }, the granted ports still plugged in
  labels: new WeakMap(),
  held: new Set(),    // every label given in this page's life: never given to another port
  chosen: null,       // the label of the port the next reading uses
  picked: null,       // the port the user chose in the browser's chooser: the one read, or none
  lost: null,         // the label of a chosen port that was unplugged
  reading: false,
  auto: false,
  noSerial: !("serial" in navigator),
  queue: Promise.resolve(),
  trace: [],          // the last reading's bytes, for the diagnostic
  lastRecord: null,
  view: { offset: 0, query: "" },
};

function fill(text, ...args) {
  return args.reduce((t, a) => t.replace("%s", a), text);
}

// The settings: localStorage, which throws when the browser keeps nothing for the page.
const settings = {
  get(key, fallback = null) {
    try {
      const value = localStorage.getItem("bravelle." + key);
      return value === null ? fallback : value;
    } catch (e) {
      return fallback;
    }
  },
  set(key, value) {
    try {
      localStorage.setItem("bravelle." + key, value);
    } catch (e) { /* kept for this visit only */ }
  },
};

// The readings: in IndexedDB, and all of them in memory too, oldest first, for the table, the search
// and the exports. Where the browser keeps nothing, in memory only.
const historyStore = {
  db: null,
  all: [],          // { json, csv, csvSemicolon, record }
  last: new Map(),  // fixture, or port for a record without one -> the serial number read last there
  seen: new Map(),  // serial number -> "fixture\nport" of the record that read it last

  async open() {
    try {
      this.db = await new Promise((resolve, reject) => {
        const request = indexedDB.open("bravelle", 1);
        request.onupgradeneeded = () => request.result.createObjectStore("readings", { autoIncrement: true });
        request.onsuccess = () => resolve(request.result);
        request.onerror = () => reject(request.error);
        request.onblocked = () => reject(new Error("blocked"));
      });
      const entries = await this.request(this.db.transaction("readings").objectStore("readings").getAll());
      for (const entry of entries) this.remember(entry);
      await this.migrate();
    } catch (e) {
      this.db = null;
    }
    return this.db !== null;
  },

  request(r) {
    return new Promise((resolve, reject) => {
      r.onsuccess = () => resolve(r.result);
      r.onerror = () => reject(r.error);
    });
  },

  // One transaction on the store; a quota error comes as its abort.
  write(act) {
    return new Promise((resolve, reject) => {
      const tx = this.db.transaction("readings", "readwrite");
      tx.oncomplete = () => resolve();
      tx.onabort = tx.onerror = () => reject(tx.error || new Error("aborted"));
      act(tx.objectStore("readings"));
    });
  },

  // The readings of the page's first version, kept in localStorage.
  async migrate() {
    let old;
    try {
      old = JSON.parse(localStorage.getItem("bravelle.readings") || "null");
    } catch (e) {
      return;
    }
    if (!Array.isArray(old)) return;
    const entries = old.map((r) => ({ json: r.json, csv: r.csv }));
    await this.write((store) => { for (const entry of entries) store.add(entry); });
    localStorage.removeItem("bravelle.readings");
    for (const entry of entries) this.remember(entry);
  },

  remember(entry) {
    const record = JSON.parse(entry.json);
    this.all.push({ ...entry, record });
    if (record.serial === undefined) return;
    this.last.set(this.placeOf(record), record.serial);
    this.seen.set(record.serial, `${record.fixture || ""}\n${record.port || ""}`);
  },

  placeOf(record) {
    return record.fixture ? "fixture:" + record.fixture : "port:" + record.port;
  },

  lastSerial(port, fixture) {
    const serial = this.last.get(fixture ? "fixture:" + fixture : "port:" + port);
    return serial === undefined ? -1 : serial;
  },

  // Kept in memory whatever happens; the storage's refusal is thrown for the page to tell.
  async add(entry) {
    this.remember(entry);
    if (this.db) await this.write((store) => store.add(entry));
  },

  async clear() {
    this.all = [];
    this.last.clear();
    this.seen.clear();
    if (this.db) await this.write((store) => store.clear());
  },
};

function firstLanguage() {
  const stored = settings.get("language");
  if (stored === "0" || stored === "1") return Number(stored);
  return (navigator.language || "").toLowerCase().startsWith("fr") ? 0 : 1;
}

function setLanguage(language) {
  page.language = language;
  settings.set("language", String(language));
  page.texts = page.catalogue[language];
  document.documentElement.lang = language === 0 ? "fr" : "en";
  document.title = "Bravelle";
  $("title").textContent = page.texts.title;
  for (const el of document.querySelectorAll("[data-text]")) el.textContent = page.texts[el.dataset.text];
  for (const el of document.querySelectorAll("[data-hint]")) el.placeholder = page.texts[el.dataset.hint];
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

// Once, below the buttons: what the page could not keep, an update.
function notice(text) {
  $("notice").hidden = !text;
  $("notice").textContent = text;
}

function enableButtons() {
  const idle = !page.reading && !page.noSerial;
  $("choose").disabled = !idle;
  $("other").disabled = !idle;
  $("read").disabled = !idle || page.chosen === null || page.auto;
  $("cancel").hidden = !page.reading || page.auto;
  $("auto").disabled = page.noSerial;
  // Plug-and-read waits in the core for hours: its next reading takes the language chosen meanwhile.
  for (const b of document.querySelectorAll("[data-language]")) b.disabled = page.reading && !page.auto;
}

function showPortState() {
  enableButtons();
  $("port-name").value = page.chosen !== null ? portNames()[page.chosen] || "" : "";
  $("port-name").disabled = page.chosen === null;
  if (page.reading) return;
  if (page.noSerial) {
    $("status").textContent = "";
    say(page.texts.noWebSerial, true);
  } else if (page.chosen !== null) {
    $("status").textContent = fill(page.texts.portReady, portTitle(page.chosen));
  } else if (page.lost !== null) {
    $("status").textContent = fill(page.texts.portGoneIdle, portTitle(page.lost));
  } else if (page.ports.length > 1) {
    $("status").textContent = page.texts.severalPorts;
  } else {
    $("status").textContent = page.texts.noPortYet;
  }
}

function hex4(n) {
  return n.toString(16).toUpperCase().padStart(4, "0");
}

// A port has no name in the browser: it is named by its adapter's USB ids, a number added when two of
// the same kind are granted. A label stays with its port for the page's life, plugged in or not, so
// that a cable plugged back is never taken for another of the same kind.
function labelOf(port) {
  let label = page.labels.get(port);
  if (label) return label;
  const info = port.getInfo();
  const base = info.usbVendorId !== undefined ? `usb:${hex4(info.usbVendorId)}:${hex4(info.usbProductId)}` : "serial";
  label = base;
  for (let n = 2; page.held.has(label); ++n) label = `${base}#${n}`;
  page.labels.set(port, label);
  page.held.add(label);
  return label;
}

// The names the technician gave the ports ("Banc 1"), by label, kept across visits.
function portNames() {
  try {
    return JSON.parse(settings.get("portNames", "{}")) || {};
  } catch (e) {
    return {};
  }
}

function portTitle(label) {
  const name = portNames()[label];
  return name ? `${name} (${label})` : label;
}

// The core takes one call at a time: a reading suspended in it must not see another (ccall would take
// the reading's promise for its own), so every call that can come while one runs waits its turn.
function serialised(work) {
  const turn = page.queue.then(work);
  page.queue = turn.catch(() => {});
  return turn;
}

// The USB vendor id as the core's port rules take it, four lowercase hex digits; empty without one.
function vendorOf(port) {
  const id = port.getInfo().usbVendorId;
  return id === undefined ? "" : id.toString(16).padStart(4, "0");
}

// The web form of the window's idle watch and of auto: the ports granted
// before are used without asking; plugging and unplugging update the choice.
async function refreshPorts() {
  if (page.noSerial) return;
  const granted = (await navigator.serial.getPorts()).filter((p) => p.connected !== false);
  page.ports = granted.map((port) => ({ port, label: labelOf(port) }));
  page.line.ports = new Map(page.ports.map((p) => [p.label, p.port]));
  const before = page.chosen;
  if (page.picked !== null) {
    // The port the user picked, or none: never another one in its place.
    page.chosen = page.ports.some((p) => p.port === page.picked) ? labelOf(page.picked) : null;
  } else {
    // The core's port rules decide which is preferred, from the USB vendor id.
    const vendors = page.ports.map((p) => vendorOf(p.port) + ";").join("");
    const index = page.core.ccall("web_auto_port", "number", ["string"], [vendors]);
    page.chosen = index >= 0 ? page.ports[index].label : null;
  }
  if (page.chosen !== null) page.lost = null;
  else if (before !== null) page.lost = before;
  else if (page.picked !== null) page.lost = labelOf(page.picked);
  showPortState();
  wakeAuto();
}

async function choosePort(filtered) {
  say("", false);
  try {
    page.picked = await navigator.serial.requestPort(filtered ? { filters: [{ usbVendorId: CP210X_VENDOR }] } : {});
    labelOf(page.picked);
  } catch (e) {
    if (e.name === "NotFoundError") say(page.texts.chooserClosed, true);
    else say(fill(page.texts.chooserFailed, e.message), true);
  }
  await serialised(refreshPorts);
}

// The waiting line, ticked every second while the core waits for the handshake.
function onWaiting(ms, attempts) {
  const from = performance.now() - ms;
  const show = () => {
    const text = page.core.UTF8ToString(page.core._web_waiting_text(performance.now() - from, attempts));
    $("status").textContent = text;
  };
  stopTicking();
  show();
  page.ticking = setInterval(show, 1000);
}

function stopTicking() {
  clearInterval(page.ticking);
  page.ticking = null;
}

function onTrace(ms, hostToUnit, byte) {
  const t = Math.max(0, Math.floor(ms));
  page.trace.push(`${Math.floor(t / 1000)}.${String(t % 1000).padStart(3, "0")} ${hostToUnit ? "H>U" : "U>H"} ` +
                  byte.toString(16).toUpperCase().padStart(2, "0"));
}

// One reading in the core; plug-and-read's waits until a unit answers.
async function runReading(untilAnswer) {
  const label = page.chosen;
  const fixture = portNames()[label] || "";
  page.reading = true;
  page.trace = [];
  // Disabling the focused Read button would drop the keyboard's focus on the page's body.
  const focused = document.activeElement === $("read");
  enableButtons();
  if (focused) $("cancel").focus();
  say("", false);
  $("identity").hidden = true;
  $("status").textContent = "";
  // This reading's lines, shown as each step is done and completed at its end.
  page.live = document.createElement("div");
  $("pane").append(page.live);
  let answer;
  try {
    answer = JSON.parse(await page.core.ccall(
        "web_read", "string", ["string", "number", "number", "string", "string", "string", "number"],
        [label, page.language, historyStore.lastSerial(label, fixture), fixture, settings.get("expectSoftware", ""),
         settings.get("expectCircuit", ""), untilAnswer ? 1 : 0], { async: true }));
  } catch (e) {
    // The core itself failed: say so rather than leave the buttons dead.
    answer = { pane: [], message: String(e && e.message || e) };
  } finally {
    stopTicking();
    page.reading = false;
  }
  showPane(answer.pane);
  page.live.replaceWith(...page.live.childNodes);
  page.live = null;
  const done = answer.identity && answer.outcome === "ok";
  if (answer.identity) {
    $("serial").textContent = answer.identity.serial;
    $("circuit").textContent = answer.identity.circuit;
    $("software").textContent = answer.identity.software;
    $("identity").hidden = false;
    $("identity").classList.toggle("rejected", !done);
  }
  // Plug-and-read looks at a port it cannot use again and again: no record for each look.
  if (answer.json && !(untilAnswer && answer.outcome === "port-error")) {
    page.lastRecord = answer.json;
    try {
      await historyStore.add({ json: answer.json, csv: answer.csv, csvSemicolon: answer.csvSemicolon });
    } catch (e) {
      notice(fill(page.texts.storageFailed, e && (e.name || e.message) || e));
    }
    page.view.offset = 0;
    showReadings();
  }
  $("diagnostic").disabled = page.lastRecord === null;
  await refreshPorts();
  if (answer.message) say(answer.message, true);
  // The result is announced in the status region, and the keyboard's focus goes to it.
  if (done) $("status").textContent = fill(page.texts.readOk, answer.identity.serial, answer.identity.circuit, answer.identity.software);
  if (focused || document.activeElement === $("cancel") || document.activeElement === document.body) {
    (answer.message ? $("alert") : done ? $("identity") : $("read")).focus();
  }
  document.body.dataset.readings = String(Number(document.body.dataset.readings || 0) + 1);
  return answer;
}

function read() {
  if (page.reading || page.chosen === null || page.auto) return;
  return serialised(() => (page.chosen === null || page.auto ? null : runReading(false)));
}

// Plug-and-read: while the switch is on, a unit that answers on the chosen port is read and recorded,
// then the page waits until it leaves (it stops answering, or its port goes) before the next one.
let autoWake = null;

function wakeAuto() {
  if (autoWake) autoWake();
}

async function autoLoop() {
  if (page.autoRunning) return;
  page.autoRunning = true;
  try {
    while (page.auto) {
      if (page.chosen === null) {
        await new Promise((resolve) => { autoWake = resolve; });
        autoWake = null;
        continue;
      }
      const answer = await serialised(() => (page.auto && page.chosen !== null ? runReading(true) : null));
      if (!answer || !page.auto) continue;
      if (answer.outcome === "port-error" || answer.outcome === "interrupted") {
        // Unplugged, held by another program, asleep: look again shortly, or when a port comes.
        await new Promise((resolve) => { autoWake = resolve; setTimeout(resolve, AUTO_RETRY_MS); });
        autoWake = null;
        continue;
      }
      const label = page.chosen;
      if (label === null) continue;
      if (!answer.message) $("status").textContent = fill(page.texts.autoPresent, portTitle(label));
      await serialised(() => {
        if (!page.auto || page.chosen !== label) return null;
        page.reading = page.waitingGone = true;
        enableButtons();
        return page.core.ccall("web_wait_gone", "number", ["string"], [label], { async: true })
          .finally(() => { page.reading = page.waitingGone = false; enableButtons(); });
      });
      await serialised(refreshPorts);
    }
  } finally {
    page.autoRunning = false;
  }
}

function setAuto(on) {
  page.auto = on;
  $("auto").checked = on;
  settings.set("auto", on ? "1" : "0");
  if (!on && page.reading) cancel();
  enableButtons();
  wakeAuto();
  if (on && !page.noSerial) autoLoop();
}

function showPane(texts) {
  if (!page.live) return;
  if (texts.length) stopTicking();
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
  page.core._web_cancel();  // a raw call: see serialised
  page.line.interrupt();
  stopTicking();
  $("status").textContent = page.texts.cancelling;
}

// The table: newest first, a page at a time, or the readings whose serial number holds the search.
function showReadings() {
  const rows = $("rows");
  rows.textContent = "";
  const query = page.view.query.trim();
  const matching = query ? historyStore.all.filter((r) => (r.record.serial_text || "").includes(query)) : historyStore.all;
  const total = matching.length;
  const offset = Math.min(page.view.offset, Math.max(0, total - 1));
  for (let i = total - 1 - offset; i >= 0 && i > total - 1 - offset - PAGE_ROWS; --i) {
    const record = matching[i].record;
    const tr = document.createElement("tr");
    const cells = [new Date(record.time).toLocaleString(page.language === 0 ? "fr-FR" : "en-GB"),
                   record.fixture ? `${record.fixture} (${record.port})` : record.port,
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
  $("no-readings").hidden = total > 0;
  $("no-readings").textContent = query ? page.texts.noMatch : page.texts.noReadings;
  $("pager").hidden = total <= PAGE_ROWS;
  $("page-of").textContent = fill(page.texts.pageOf, offset + 1, Math.min(total, offset + PAGE_ROWS), total);
  $("newer").disabled = offset === 0;
  $("older").disabled = offset + PAGE_ROWS >= total;
  const none = historyStore.all.length === 0;
  $("export-csv").disabled = $("export-jsonl").disabled = $("clear").disabled = none;
}

function turnPage(step) {
  page.view.offset = Math.max(0, page.view.offset + step * PAGE_ROWS);
  showReadings();
}

function download(name, type, parts) {
  const a = document.createElement("a");
  a.href = URL.createObjectURL(new Blob(parts, { type }));
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

// The same files as bravelle-cli's --csv and --log: its header, rows and line ends; the CSV file with
// the byte order mark and the separator a spreadsheet in the page's language expects.
function exportCsv() {
  const separator = page.language === 0 ? ";" : ",";
  const header = (schema) => page.csvHeaders[separator + schema];
  const columns = header(0);
  const rows = historyStore.all.map((r) => (r.csvSemicolon === undefined ? oldRow(r.csv, header(1), columns, separator)
                                            : separator === ";" ? r.csvSemicolon : r.csv) + "\r\n");
  download("bravelle-readings.csv", "text/csv;charset=utf-8", [Uint8Array.of(0xef, 0xbb, 0xbf), columns + "\r\n", ...rows]);
}

// A row the page's first version kept (schema 1, with ","), in the columns of the header, by name.
function oldRow(row, oldHeader, newHeader, separator) {
  const fields = (line) => [...(line + ",").matchAll(/("(?:[^"]|"")*"|[^,]*),/g)].map((m) => m[1].replace(/^"|"$/g, "").replace(/""/g, '"'));
  const names = oldHeader.split(separator);
  const values = new Map(fields(row).map((value, i) => [names[i], value]));
  return newHeader.split(separator).map((name) => {
    const value = values.get(name) ?? "";
    return /[;,"\r\n]/.test(value) ? `"${value.replace(/"/g, '""')}"` : value;
  }).join(separator);
}

function exportJsonl() {
  download("bravelle-readings.jsonl", "application/jsonl", historyStore.all.map((r) => r.json + "\n"));
}

// For support: the last reading's bytes as bravelle-cli --trace writes them, the browser, the port's
// USB ids and the page's version.
function exportDiagnostic() {
  const port = page.ports.find((p) => p.label === page.chosen) || page.ports[0];
  const info = port ? port.port.getInfo() : {};
  const lines = [
    `Bravelle Web ${self.BRAVELLE_VERSION || "?"}`,
    `browser: ${navigator.userAgent}`,
    `language: ${navigator.language}`,
    `port: ${port ? portTitle(port.label) : "-"}` +
      (info.usbVendorId !== undefined ? ` (USB vendor 0x${hex4(info.usbVendorId)}, product 0x${hex4(info.usbProductId)})` : ""),
    `record: ${page.lastRecord || "-"}`,
    "trace:",
    ...page.trace,
  ];
  download("bravelle-diagnostic.txt", "text/plain;charset=utf-8", [lines.join("\n") + "\n"]);
}

async function clearReadings() {
  if (!confirm(page.texts.clearConfirm)) return;
  try {
    await historyStore.clear();
  } catch (e) {
    notice(fill(page.texts.storageFailed, e && (e.name || e.message) || e));
  }
  showReadings();
}

// The fields of the reading station, kept across visits.
function keepStation() {
  const names = portNames();
  const name = $("port-name").value.trim();
  if (page.chosen !== null) {
    if (name) names[page.chosen] = name;
    else delete names[page.chosen];
    settings.set("portNames", JSON.stringify(names));
  }
  for (const [id, key] of [["expect-software", "expectSoftware"], ["expect-circuit", "expectCircuit"]]) {
    settings.set(key, $(id).value.trim());
  }
  showPortState();
}

// Leaving mid-reading: the browser asks first; once the page goes, the unit is let go as far as the
// browser still runs anything.
function leaving(event) {
  if (!page.reading || page.waitingGone) return;
  event.preventDefault();
  event.returnValue = "";
}

function gone() {
  if (!page.reading) return;
  page.core._web_cancel();
  page.line.abandon(page.core._web_end_command());
}

// A new version of the site runs from the load after its service worker took over: said once.
function tellUpdate() {
  const version = self.BRAVELLE_VERSION;
  const seen = settings.get("version");
  if (version && seen && seen !== version) notice(fill(page.texts.updated, version));
  if (version) settings.set("version", version);
}

async function start() {
  page.core = await Bravelle({
    serialLine: page.line,
    onWaiting,
    onTrace,
    onSeen: (serial) => historyStore.seen.get(serial) ?? null,
    onPane: showPane,
  });
  // Asked once: a language or an export may be chosen while a reading is suspended in the core.
  page.catalogue = [0, 1].map((language) => JSON.parse(page.core.ccall("web_texts", "string", ["number"], [language])));
  page.csvHeaders = {};
  for (const separator of [",", ";"]) {
    for (const schema of [0, 1]) {
      page.csvHeaders[separator + schema] = page.core.ccall("web_csv_header", "string", ["number", "number"],
                                                            [separator.charCodeAt(0), schema]);
    }
  }
  setLanguage(firstLanguage());
  for (const b of document.querySelectorAll("[data-language]")) {
    b.addEventListener("click", () => setLanguage(Number(b.dataset.language)));
  }
  $("choose").addEventListener("click", () => choosePort(true));
  $("other").addEventListener("click", () => choosePort(false));
  $("read").addEventListener("click", read);
  $("cancel").addEventListener("click", cancel);
  $("auto").addEventListener("change", () => setAuto($("auto").checked));
  $("export-csv").addEventListener("click", exportCsv);
  $("export-jsonl").addEventListener("click", exportJsonl);
  $("diagnostic").addEventListener("click", exportDiagnostic);
  $("clear").addEventListener("click", clearReadings);
  $("newer").addEventListener("click", () => turnPage(-1));
  $("older").addEventListener("click", () => turnPage(1));
  $("search").addEventListener("input", () => {
    page.view = { offset: 0, query: $("search").value };
    showReadings();
  });
  $("expect-software").value = settings.get("expectSoftware", "");
  $("expect-circuit").value = settings.get("expectCircuit", "");
  for (const id of ["port-name", "expect-software", "expect-circuit"]) $(id).addEventListener("change", keepStation);
  addEventListener("beforeunload", leaving);
  addEventListener("pagehide", gone);
  let ports = null;
  if (!page.noSerial) {
    const changed = () => serialised(refreshPorts);
    navigator.serial.addEventListener("connect", changed);
    navigator.serial.addEventListener("disconnect", changed);
    ports = serialised(refreshPorts);
  }
  // The readings come in once the page is usable: a reading waits for them (its repeat flag).
  const loaded = serialised(async () => {
    const kept = await historyStore.open();
    if (!kept) notice(page.texts.storageMemory);
    else tellUpdate();
    showReadings();
  });
  await ports;
  performance.mark("bravelle-ready");
  await loaded;
  performance.mark("bravelle-readings");
  document.body.dataset.ready = "1";
  if ("serviceWorker" in navigator) {
    navigator.serviceWorker.register("sw.js").catch((e) => console.warn("no offline copy:", e.message));
  }
  if (settings.get("auto") === "1") setAuto(true);
}

start();
