// The web page end to end in Debian's headless chromium: the real site, a stand-in for navigator.serial
// that carries the bytes to the simulated unit on a pty. Run by CTest one group at a time:
//   node test_web.js Reading|Failures|Waits|Browser
// with BRAVELLE_SITE, BRAVELLE_SIMUNIT, BRAVELLE_CLI, BRAVELLE_PTYSHIM and BRAVELLE_SOURCE in the environment.
"use strict";

const assert = require("assert/strict");
const childProcess = require("child_process");
const fs = require("fs");
const path = require("path");
const { describe, test, before, after } = require("node:test");
const h = require("./harness");

const SITE = process.env.BRAVELLE_SITE;
const SIMUNIT = process.env.BRAVELLE_SIMUNIT;
const SOURCE = process.env.BRAVELLE_SOURCE;
const GROUP = process.argv[2];
const CP210X = { usbVendorId: 0x10c4, usbProductId: 0xea60 };
const FTDI = { usbVendorId: 0x0403, usbProductId: 0x6001 };

// The window's pane after a complete reading of the simulated unit's defaults, from the file the native and Wine tests read.
function windowPane(language) {
  const lines = [];
  let section = null;
  for (const raw of fs.readFileSync(path.join(SOURCE, "tests/support/complete_reading_pane.txt"), "latin1").split("\n")) {
    if (/^\[\w+\]$/.test(raw)) section = raw.slice(1, -1);
    else if (section === language && raw.length >= 2 && raw.startsWith("|") && raw.endsWith("|")) {
      lines.push(raw.slice(1, -1).replace(/\\x([0-9A-Fa-f]{2})/g, (_, x) => String.fromCharCode(parseInt(x, 16))));
    }
  }
  return lines;
}

// bravelle-cli's reading of a unit with the same options, as that unit's transcript shows the line.
async function cliBytes(dir, options) {
  const unit = await h.startUnit(SIMUNIT, dir, options);
  try {
    const env = { ...process.env, LD_PRELOAD: process.env.BRAVELLE_PTYSHIM, ASAN_OPTIONS: "verify_asan_link_order=0:detect_leaks=0", LANG: "C" };
    childProcess.execFileSync(process.env.BRAVELLE_CLI, ["read", "--port", unit.slave], { env, stdio: "ignore" });
    return unit.transcript();
  } finally {
    await unit.stop();
  }
}

// The world one group of scenarios runs in: site, bridge, units, browser.
function world() {
  const w = { units: [] };
  before(async () => {
    w.dir = h.tempDir("test");
    w.site = await h.serveSite(SITE);
    w.bridge = await h.startBridge();
    w.chromium = await h.launchBrowser();
    // Each download named after its id, and told as it goes.
    w.downloads = await w.chromium.browser.target().createCDPSession();
    await w.downloads.send("Browser.setDownloadBehavior", { behavior: "allowAndName", downloadPath: w.dir, eventsEnabled: true });
  });
  after(async () => {
    if (w.chromium) await w.chromium.close();
    for (const u of w.units) await u.stop();
    if (w.bridge) await w.bridge.close();
    if (w.site) await w.site.close();
    fs.rmSync(w.dir, { recursive: true, force: true });
  });
  // A unit on a pty behind the stand-in port of that id.
  w.unit = async (id, options = []) => {
    const unit = await h.startUnit(SIMUNIT, w.dir, options);
    w.units.push(unit);
    w.bridge.attach(id, unit);
    return unit;
  };
  w.page = (ports, locale = "fr-FR", chooser = null, more = {}) =>
    h.openPage(w.chromium.browser, w.site, { serial: { bridge: w.bridge.url, ports, chooser, ...more }, locale,
                                             ready: !more.holdStore });
  return w;
}

const text = (page, selector) => page.$eval(selector, (e) => (e.hidden ? null : e.textContent));
const paneLines = (page) => page.$$eval("#pane .line", (lines) => lines.map((l) => l.textContent));
const tableRows = (page) => page.$$eval("#rows tr", (rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));

// The page's records, oldest first (what a reload finds is checked where it matters).
const storedRecords = (page) => page.evaluate(() => historyStore.all.map((r) => r.record));

const reload = async (page) => {
  await page.reload();
  await page.waitForSelector("body[data-ready]");
};

// The next download of that name, read once the browser says it is complete: before, Chrome may show
// the final name empty for a moment, until it renames its .crdownload onto it.
function nextDownload(w, name) {
  return new Promise((resolve, reject) => {
    let guid = null;
    const timer = setTimeout(() => reject(new Error(`${name}: not downloaded`)), 20000);
    const begun = (e) => { if (guid === null && e.suggestedFilename === name) guid = e.guid; };
    const progress = (e) => {
      if (e.guid !== guid || e.state === "inProgress") return;
      clearTimeout(timer);
      w.downloads.off("Browser.downloadWillBegin", begun).off("Browser.downloadProgress", progress);
      if (e.state === "completed") resolve(fs.readFileSync(path.join(w.dir, guid), "utf8"));
      else reject(new Error(`${name}: ${e.state}`));
    };
    w.downloads.on("Browser.downloadWillBegin", begun).on("Browser.downloadProgress", progress);
  });
}

// What a button of the page downloads.
async function fetchFile(w, page, button, name) {
  const file = nextDownload(w, name);
  await page.click(button);
  return file;
}

// Presses Read and waits for the reading's answer.
async function readUnit(page) {
  const before = await page.evaluate(() => Number(document.body.dataset.readings || 0));
  await page.click("#read");
  await page.waitForSelector(`body[data-readings="${before + 1}"]`, { timeout: 30000 });
}

const groups = {
  Reading() {
    const w = world();
    test("a complete reading in French and then in English, as the window's pane shows it, with bravelle-cli's bytes", async () => {
      const options = ["--serial", "305419896"];
      const unit = await w.unit("cp", options);
      await w.unit("ftdi");
      // Both granted before: auto takes the CP210x without asking.
      const page = await w.page([{ id: "cp", ...CP210X, granted: true, plugged: true },
                                 { id: "ftdi", ...FTDI, granted: true, plugged: true }]);
      assert.equal(await text(page, "#status"), "Port : usb:10C4:EA60");
      assert.equal(await text(page, "#read"), "Lecture des informations");
      // From the keyboard: the focus goes to Cancel during the reading, then to the result, which is announced.
      await page.focus("#read");
      await page.keyboard.press("Enter");
      await page.waitForFunction(() => !document.getElementById("cancel").hidden);
      assert.equal(await page.evaluate(() => document.activeElement.id), "cancel");
      await page.waitForSelector('body[data-readings="1"]', { timeout: 30000 });
      assert.equal(await page.evaluate(() => document.activeElement.id), "identity");
      assert.equal(await text(page, "#status"), "Lecture termin\u00e9e : n\u00b0 de s\u00e9rie 0305419896, circuit 5, logiciel 1.12.");
      assert.deepEqual(await paneLines(page), windowPane("fr"));
      assert.deepEqual(await page.$$eval("#identity dd", (d) => d.map((e) => e.textContent)), ["0305419896", "5", "1.12"]);
      assert.equal(await text(page, "#alert"), null);
      assert.deepEqual(unit.transcript(), await cliBytes(w.dir, options));
      const port = await page.evaluate(() => {
        const p = serialStandIn.port("cp");
        return { opens: p.opens, signals: p.signals, closes: p.closes, open: p.readable !== null };
      });
      assert.deepEqual(port.opens, [{ baudRate: 9600, dataBits: 8, parity: "even", stopBits: 1, flowControl: "none" }]);
      // DTR off and RTS on for the reading, both raised again at the close as the port had them; always sent together.
      assert.deepEqual(port.signals[0], { dataTerminalReady: false, requestToSend: true });
      assert.deepEqual(port.signals.at(-1), { dataTerminalReady: true, requestToSend: true });
      assert.deepEqual([port.closes, port.open], [1, false], "the port is closed after the reading");
      if (process.env.BRAVELLE_WEB_SCREENSHOT) await page.screenshot({ path: process.env.BRAVELLE_WEB_SCREENSHOT, fullPage: true });

      await page.click('[data-language="1"]');
      assert.equal(await text(page, "#read"), "Read");
      // A port listing still under way when Read is pressed waits for the reading instead of entering the core.
      await page.evaluate(() => {
        serialStandIn.slowListing(300);
        navigator.serial.dispatchEvent(new Event("connect"));
      });
      await readUnit(page);
      assert.deepEqual(await paneLines(page), windowPane("fr").concat(windowPane("en")), "the pane keeps every reading");
      const rows = await tableRows(page);
      assert.deepEqual(rows.map((r) => r.slice(1)), [
        ["usb:10C4:EA60", "0305419896", "5", "1.12", "read", "Read before"],
        ["usb:10C4:EA60", "0305419896", "5", "1.12", "read", ""],
      ]);

      // Phones, used with a finger: nothing wider than the screen, the table scrolls in its own box, and every
      // control is at least 44 x 44 px (the pager's and Cancel shown as they come). A touch screen without
      // puppeteer's mobile emulation, which would reload the page.
      const touch = await page.createCDPSession();
      for (const width of [360, 390]) {
        await page.setViewport({ width, height: 740 });
        await touch.send("Emulation.setTouchEmulationEnabled", { enabled: true, maxTouchPoints: 5 });
        const [widths, small] = await page.evaluate(() => {
          const shown = [...document.querySelectorAll("#pager[hidden], #cancel[hidden]")];
          for (const e of shown) e.hidden = false;
          const sizes = [...document.querySelectorAll("button, input")].map((c) => [c.id || c.textContent, c.getBoundingClientRect()]);
          for (const e of shown) e.hidden = true;
          return [[document.documentElement.scrollWidth, document.body.scrollWidth],
                  sizes.filter(([, r]) => r.width < 44 || r.height < 44).map(([id, r]) => `${id} ${r.width}x${r.height}`)];
        });
        assert.deepEqual([widths, small], [[width, width], []], `${width} px`);
        assert.ok(await page.$eval(".table-box", (b) => b.scrollWidth > b.clientWidth), "the table scrolls inside its box");
        if (width === 360 && process.env.BRAVELLE_WEB_PHONE_SCREENSHOT) await page.screenshot({ path: process.env.BRAVELLE_WEB_PHONE_SCREENSHOT, fullPage: true });
      }
      await touch.send("Emulation.setTouchEmulationEnabled", { enabled: false });
      await page.setViewport({ width: 1000, height: 760 });
      w.readingPage = page;
      w.readingUnit = unit;
    });

    test("the exports hold bravelle-cli's fields, every tab sees every reading and Clear, and the readings and the language outlive a reload until cleared", async () => {
      const page = w.readingPage;
      const jsonl = await fetchFile(w, page, "#export-jsonl", "bravelle-readings.jsonl");
      assert.ok(jsonl.endsWith("}\n"));
      const records = jsonl.trimEnd().split("\n").map((l) => JSON.parse(l));
      // Each record its own UUID version 7 (crypto.getRandomValues), the browser's one station, the page's version.
      const station = records[0].station;
      assert.match(station, /^web-[0-9a-f]{8}$/);
      assert.notEqual(records[0].id, records[1].id);
      for (const r of records) {
        assert.match(r.time, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$/);
        assert.ok(r.elapsed_ms >= 1200, "the handshake's pause and the release's sleep are the floor");
        assert.match(r.id, /^[0-9a-f]{8}-[0-9a-f]{4}-7[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/);
        delete r.time;
        delete r.elapsed_ms;
        delete r.id;
      }
      const good = { schema: 3, outcome: "ok", station, port: "usb:10C4:EA60", type: "P04", serial: 305419896,
                     serial_text: "0305419896", circuit: 5, software: "1.12", status: 0, program: "Bravelle Web 1.0.1.10" };
      assert.deepEqual(records, [good, { ...good, repeat: true }]);
      // The CSV file as a spreadsheet wants it: the UTF-8 mark, then "," in English and ";" in French.
      const header = ["schema", "id", "outcome", "error", "message", "station", "fixture", "port", "location", "type",
                      "serial", "serial_text", "circuit", "software", "status", "elapsed_ms", "time", "repeat",
                      "duplicate", "program"];
      const row = ["3", "ok", "", "", station, "", "usb:10C4:EA60", "", "P04", "305419896", "0305419896", "5", "1.12", "0"];
      for (const [language, separator] of [["1", ","], ["0", ";"]]) {
        await page.click(`[data-language="${language}"]`);
        const csv = await fetchFile(w, page, "#export-csv", "bravelle-readings.csv");
        assert.ok(csv.startsWith("\ufeffschema" + separator), JSON.stringify(csv.slice(0, 10)));
        const lines = csv.slice(1).split("\r\n");
        assert.deepEqual(lines[0].split(separator), header);
        assert.deepEqual(lines.slice(1).map((l) => l.split(separator).filter((_, i) => ![1, 15, 16].includes(i))),
                         [[...row, "false", "false", "Bravelle Web 1.0.1.10"], [...row, "true", "false", "Bravelle Web 1.0.1.10"],
                          [""]], separator);
      }
      await page.click('[data-language="1"]');

      // For support: the browser, the port's USB ids, the page's version and the last reading's bytes as
      // bravelle-cli --trace writes them.
      const diagnostic = (await fetchFile(w, page, "#diagnostic", "bravelle-diagnostic.txt")).split("\n");
      assert.match(diagnostic.slice(0, 2).join("|"), /^Bravelle Web [0-9a-f]{16}\|browser: Mozilla\/5\.0 .*Chrome\//);
      assert.equal(diagnostic[3], "port: usb:10C4:EA60 (USB vendor 0x10C4, product 0xEA60)");
      assert.equal(JSON.parse(diagnostic[4].slice("record: ".length)).repeat, true);
      const trace = diagnostic.slice(6, -1);
      for (const line of trace) assert.match(line, /^\d+\.\d{3} (H>U|U>H) [0-9A-F]{2}$/);
      assert.deepEqual(trace.map((l) => l.split(" ").slice(1).join(" ")), w.readingUnit.transcript().slice(-trace.length));
      assert.equal(trace.length * 2, w.readingUnit.transcript().length, "the second reading's bytes, all of them");

      // A second tab sees every reading of the first, exports what the store holds, and its Clear empties the
      // first, whose next reading of the same unit is then no repeat. Each tab is looked at in front, as a
      // technician switches to it.
      const other = await w.page([{ id: "cp", ...CP210X, granted: true, plugged: true }]);
      const rowsIn = async (tab, n) => {
        await tab.bringToFront();
        await tab.waitForFunction((n) => document.querySelectorAll("#rows tr").length === n, {}, n);
      };
      await rowsIn(page, 2);
      await readUnit(page);
      await rowsIn(other, 3);
      assert.equal((await fetchFile(w, other, "#export-jsonl", "bravelle-readings.jsonl")).split("\n").length, 4);
      await other.click("#clear");
      await rowsIn(page, 0);
      await readUnit(page);
      assert.deepEqual((await tableRows(page)).map((r) => r.slice(2)), [["0305419896", "5", "1.12", "read", ""]]);
      await rowsIn(other, 1);
      await other.close();

      await reload(page);
      assert.equal(await text(page, "#read"), "Read", "the language chosen is kept");
      assert.equal((await tableRows(page)).length, 1);
      await page.click("#clear");
      await reload(page);
      assert.deepEqual(await tableRows(page), []);
      assert.equal(await text(page, "#no-readings"), "No reading yet.");
      await page.close();
    });
    test("the reading station: a named port is the record's fixture, a unit of another version is rejected, all kept across visits", async () => {
      const page = await w.page([{ id: "cp", ...CP210X, granted: true, plugged: true }], "en-US");
      // A reading of the page's first version, kept in localStorage, comes along.
      const old = { schema: 1, outcome: "ok", port: "usb:10C4:EA60", type: "P04", serial: 7, serial_text: "0000000007",
                    circuit: 5, software: "1.12", status: 0, elapsed_ms: 1300, time: "2026-12-01T08:00:00.000Z" };
      await page.evaluate((json) => localStorage.setItem("bravelle.readings", JSON.stringify([
        { json, csv: "1,ok,,,usb:10C4:EA60,,P04,7,0000000007,5,1.12,0,1300,2026-12-01T08:00:00.000Z,false" }])), JSON.stringify(old));
      // And one of schema 2, kept in IndexedDB by the version before the records named their station.
      await page.evaluate(() => new Promise((resolve, reject) => {
        const open = indexedDB.open("bravelle");
        open.onsuccess = () => {
          const tx = open.result.transaction("readings", "readwrite");
          tx.objectStore("readings").add({
            json: '{"schema":2,"outcome":"ok","fixture":"left","port":"usb:10C4:EA60","serial":8,"serial_text":"0000000008","time":"2026-11-30T08:00:00.000Z"}',
            csv: "2,ok,,,left,usb:10C4:EA60,,,8,0000000008,,,,0,2026-11-30T08:00:00.000Z,false,false",
            csvSemicolon: "2;ok;;;left;usb:10C4:EA60;;;8;0000000008;;;;0;2026-11-30T08:00:00.000Z;false;false" });
          tx.oncomplete = resolve;
          tx.onerror = () => reject(tx.error);
        };
      }));
      await reload(page);
      assert.deepEqual((await tableRows(page)).map((r) => r[2]).sort(), ["0000000007", "0000000008"]);
      assert.equal(await page.evaluate(() => localStorage.getItem("bravelle.readings")), null, "moved to IndexedDB");
      await readUnit(page);  // before the port has a name: seen under the port
      for (const [field, value] of [["#port-name", "Banc 1"], ["#expect-software", "1.13"]]) {
        await page.type(field, value);
        await page.keyboard.press("Tab");
      }
      assert.equal(await text(page, "#status"), "Port: Banc 1 (usb:10C4:EA60)");
      await readUnit(page);
      assert.match(await text(page, "#alert"), /1\.12.*1\.13/);
      assert.deepEqual((await tableRows(page))[0].slice(1, 6), ["Banc 1 (usb:10C4:EA60)", "0305419896", "5", "1.12", "rejected"]);
      const record = (await storedRecords(page)).at(-1);
      assert.deepEqual([record.outcome, record.error, record.fixture, record.repeat, record.duplicate],
                       ["rejected", "unexpected-software", "Banc 1", undefined, true]);

      await reload(page);
      assert.deepEqual(await page.$$eval("#port-name, #expect-software, #expect-circuit", (f) => f.map((e) => e.value)),
                       ["Banc 1", "1.13", ""]);
      const lines = (await fetchFile(w, page, "#export-csv", "bravelle-readings.csv")).slice(1).split("\r\n");
      // The old rows in today's columns, by name; the new one with its fixture.
      assert.ok(lines.includes("1,,ok,,,,,usb:10C4:EA60,,P04,7,0000000007,5,1.12,0,1300,2026-12-01T08:00:00.000Z,false,,"), lines);
      assert.ok(lines.includes("2,,ok,,,,left,usb:10C4:EA60,,,8,0000000008,,,,0,2026-11-30T08:00:00.000Z,false,false,"), lines);
      assert.ok(lines.some((l) => /^3,[0-9a-f-]{36},rejected,unexpected-software,".*",web-[0-9a-f]{8},Banc 1,usb:10C4:EA60,.*,false,true,Bravelle Web 1\.0\.1\.10$/.test(l)), lines);
      await page.close();
    });
  },

  Failures() {
    const w = world();
    test("every failure is told in the page's language, never as a reading", async () => {
      const p05 = await w.unit("p05", ["--type", "P05"]);
      await w.unit("silent-after", ["--silent-after-handshake"]);
      await w.unit("garbled", ["--garble"]);
      await w.unit("parity");
      // Byte 20 from the host is the second address character of the second serial byte.
      await w.unit("hangup", ["--hangup-after", "20"]);
      // Adapters of other makers, none granted yet.
      const ports = ["p05", "silent-after", "garbled", "parity", "hangup"]
        .map((id, i) => ({ id, usbVendorId: 0x0403, usbProductId: 0x6001 + i, granted: false, plugged: true }));
      Object.assign(ports[0], { latencyMs: 16 });
      // The second chunk is the first character of the unit's type.
      Object.assign(ports[3], { parityErrorAt: 2 });
      const stuck = await w.unit("stuck");
      // open() refused by the system (another program) or by the browser (open here already, denied); an
      // adapter that takes no byte.
      for (const [id, busy] of [["held", true], ["open-here", "InvalidStateError"], ["denied", "SecurityError"], ["stuck"]]) {
        ports.push({ id, ...CP210X, granted: false, plugged: true, busy, stuckWrites: id === "stuck" });
      }
      const page = await w.page(ports, "en-US");
      assert.equal(await text(page, "#status"), "No port chosen: plug in the unit's cable and choose its port.");
      assert.equal(await page.$eval("#read", (b) => b.disabled), true);

      // The CP210x chooser does not offer another maker's adapter.
      await page.evaluate(() => serialStandIn.choose("p05"));
      await page.click("#choose");
      await page.waitForSelector("#alert:not([hidden])");
      assert.equal(await text(page, "#alert"), "No port chosen: the chooser was closed.");

      const head = windowPane("en").slice(0, 3);
      const lost = "The unit no longer answers correctly";
      const confirmed = "You have connected the Satellite de la KVR72 QLE unit.";
      const cases = [
        // [port, the pane's lines after the first three, words of the message, the table's outcome]
        ["p05", [" ", "Wrong unit type"], 'is of type "P05", not a Satellite de la KVR72 QLE (P04).', "wrong type"],
        ["silent-after", [" ", lost], "stopped answering during the reading (code 100002)", "link lost"],
        ["garbled", [confirmed, " ", " ", lost], "unreadable characters (code 100003)", "link lost"],
        // A parity error is not silence: the line is garbled.
        ["parity", [" ", lost], "receives malformed characters (parity, framing, break or overrun error): wrong speed or framing", "link lost"],
        ["hangup", [confirmed, " ", " ", lost], "vanished during the reading (cable unplugged?)", "link lost"],
      ];
      let pane = [];
      for (const [id, tail, words, outcome] of cases) {
        await page.evaluate((id) => serialStandIn.choose(id), id);
        await page.click("#other");
        await page.waitForFunction(() => !document.getElementById("read").disabled);
        if (id === "silent-after") {
          // The window's lines come as each step is done: the type check shows while the unit stays silent.
          const done = await page.evaluate(() => Number(document.body.dataset.readings || 0));
          await page.click("#read");
          await page.waitForFunction((t) => [...document.querySelectorAll("#pane > div:not(.line) > .line")]
            .some((l) => l.textContent === t), {}, head[2]);
          assert.equal(await page.evaluate(() => Number(document.body.dataset.readings || 0)), done, "still reading");
          await page.waitForSelector(`body[data-readings="${done + 1}"]`, { timeout: 30000 });
        } else {
          await readUnit(page);
        }
        pane = pane.concat(head, tail);
        assert.deepEqual(await paneLines(page), pane, id);
        assert.ok((await text(page, "#alert")).includes(words), id + ": " + (await text(page, "#alert")));
        assert.equal(await text(page, "#identity"), null, id);
        assert.equal((await tableRows(page))[0][5], outcome, id);
      }
      // The wrong unit is released after the type check, as the window does.
      assert.deepEqual(p05.transcript().slice(-7), ["H>U 9E", "H>U 38", "H>U 31", "U>H 84", "U>H 84", "H>U 04", "U>H 84"]);
      // The pulled cable leaves the port gone and nothing to read with.
      assert.equal(await text(page, "#status"), "The port usb:0403:6005 is unplugged: plug the cable in again.");
      assert.equal(await page.$eval("#read", (b) => b.disabled), true);
      await page.evaluate(() => serialStandIn.port("hangup").plug());
      await page.waitForFunction(() => !document.getElementById("read").disabled);
      assert.equal(await text(page, "#status"), "Port: usb:0403:6005");

      for (const [id, message] of [
        ["held", "The port usb:10C4:EA60 does not open: another program probably holds it (Bravelle, a serial terminal, another tab...)."],
        ["open-here", "The port usb:10C4:EA60#2 is already open in this browser (another tab or window of Bravelle Web?)."],
        ["denied", "The browser denies access to the port usb:10C4:EA60#3 (permission withdrawn or forbidden by the administrator)."],
        ["stuck", "The port usb:10C4:EA60#4 no longer sends anything (a write stayed stuck): the line was closed."]]) {
        await page.evaluate((id) => serialStandIn.choose(id), id);
        await page.click("#choose");
        await page.waitForFunction(() => !document.getElementById("read").disabled);
        await readUnit(page);
        assert.ok((await text(page, "#alert")).startsWith(message), await text(page, "#alert"));
      }
      // The byte given up at its timeout never goes out later.
      await page.evaluate(() => serialStandIn.port("stuck").unstick());
      await new Promise((r) => setTimeout(r, 300));
      assert.deepEqual(stuck.transcript(), []);
      const cp210x = { filters: [{ usbVendorId: 0x10c4 }] };
      assert.deepEqual(await page.evaluate(() => serialStandIn.requests), [cp210x, {}, {}, {}, {}, {}, cp210x, cp210x, cp210x, cp210x]);
      const records = (await storedRecords(page)).map((r) => [r.outcome, r.error, r.status]);
      assert.deepEqual(records, [
        ["wrong-unit", "wrong-unit", 100020], ["link-lost", "link-lost", 100002], ["link-lost", "bad-reply", 100003],
        ["link-lost", "bad-reply", 100003], ["link-lost", "link-lost", 19], ["port-error", "port-busy", 16],
        ["port-error", "port-busy", 114], ["port-error", "permission", 13], ["port-error", "port-error", 62]]);
      await page.close();
    });
    test("two cables of the same kind: the one picked is read, or the page says it is gone; a label is never given twice and says what the port is", async () => {
      for (const [id, serial] of [["cable-a", 111], ["cable-b", 222], ["cable-c", 333]]) await w.unit(id, ["--serial", serial]);
      const page = await w.page([{ id: "cable-a", ...CP210X, granted: true, plugged: true },
                                 { id: "cable-b", ...CP210X, granted: true, plugged: true },
                                 { id: "cable-c", ...CP210X, granted: false, plugged: true },
                                 { id: "built-in", granted: false, plugged: true },
                                 { id: "bt", bluetoothServiceClassId: "00001101-0000-1000-8000-00805f9b34fb", granted: false, plugged: true }],
                                "en-US");
      assert.equal(await text(page, "#status"), "Several ports are allowed: choose the unit's.");
      const choose = async (id, status, button = "#choose") => {
        await page.evaluate((id) => serialStandIn.choose(id), id);
        await page.click(button);
        await page.waitForFunction((s) => document.getElementById("status").textContent === s, {}, status);
      };
      await choose("cable-b", "Port: usb:10C4:EA60#2");
      // Unplugged: the other cable of the same kind is not read in its place.
      await page.evaluate(() => serialStandIn.port("cable-b").unplug());
      await page.waitForFunction(() => document.getElementById("read").disabled);
      assert.equal(await text(page, "#status"), "The port usb:10C4:EA60#2 is unplugged: plug the cable in again.");
      // A third cable granted meanwhile gets a label of its own, and the second keeps its own when plugged back.
      await choose("cable-c", "Port: usb:10C4:EA60#3");
      await page.evaluate(() => serialStandIn.port("cable-b").plug());
      await choose("cable-b", "Port: usb:10C4:EA60#2");
      await readUnit(page);
      assert.deepEqual((await tableRows(page))[0].slice(1, 3), ["usb:10C4:EA60#2", "0000000222"]);
      // Without USB ids: a port the system does not describe, and a Bluetooth serial port as on Android.
      await choose("built-in", "Port: serial#1", "#other");
      await choose("bt", "Port: bluetooth:1101", "#other");
      await page.close();
    });
  },

  Waits() {
    const w = world();
    test("Cancel ends the wait for a silent unit at once, releases it and closes the port", async () => {
      const unit = await w.unit("cp", ["--silent"]);
      const page = await w.page([{ id: "cp", ...CP210X, granted: true, plugged: true }]);
      await page.click("#read");
      await page.waitForFunction(() => document.getElementById("status").textContent.startsWith("Attente d'un appareil"));
      await new Promise((r) => setTimeout(r, 1500));
      // The waiting line ticks every second, not only at each handshake (every two seconds).
      assert.match(await text(page, "#status"), /: 1 s, 0 essai\(s\)$/);
      const start = Date.now();
      await page.click("#cancel");
      await page.waitForSelector('body[data-readings="1"]');
      // The release's 200 ms sleep and its end command are all that is left to wait for.
      assert.ok(Date.now() - start < 1000, `${Date.now() - start} ms`);
      assert.equal(await text(page, "#alert"), "Interrompu.");
      assert.deepEqual(await tableRows(page), [], "a reading that did not happen leaves no record");
      assert.equal(unit.transcript().pop(), "H>U 04", "the unit is released");
      assert.deepEqual(await page.evaluate(() => [serialStandIn.port("cp").closes, serialStandIn.port("cp").readable]), [1, null]);
      assert.equal(await page.$eval("#read", (b) => b.disabled), false);
      await page.close();
    });

    test("leaving mid-reading asks first, then the unit is let go", async () => {
      const unit = await w.unit("leave", ["--silent"]);
      const page = await w.page([{ id: "leave", ...CP210X, granted: true, plugged: true }]);
      await page.click("#read");
      await page.waitForFunction(() => document.getElementById("status").textContent.startsWith("Attente d'un appareil"));
      await page.close({ runBeforeUnload: true });
      for (let i = 0; i < 40 && unit.transcript().at(-1) !== "H>U 04"; ++i) await new Promise((r) => setTimeout(r, 50));
      assert.deepEqual(page.dialogs, ["beforeunload"]);
      assert.equal(unit.transcript().at(-1), "H>U 04", "the end command went out as the page went");
    });

    test("plug-and-read: three units plugged one after another are read once each, across a replug of the cable", async () => {
      for (const [id, serial] of [["u1", 1001], ["u2", 1002], ["u3", 1003]]) await w.unit(id, ["--serial", serial]);
      // The bench's cable, no unit on it yet.
      const page = await w.page([{ id: "bench", ...CP210X, granted: true, plugged: true, unit: null }]);
      assert.equal(await page.$eval("#auto", (s) => s.checked), false, "off at first");
      // A switch to the keyboard and to a screen reader.
      await page.focus("#auto");
      await page.keyboard.press("Space");
      const { role, name, checked } = await page.accessibility.snapshot({ root: await page.$("#auto") });
      assert.deepEqual([role, name, checked], ["switch", "Lecture automatique", true]);
      for (const [n, id] of ["u1", "u2", "u3"].entries()) {
        if (id === "u3") {
          await page.evaluate(() => serialStandIn.port("bench").unplug());
          await page.waitForFunction(() => document.getElementById("status").textContent.includes("est d\u00e9branch\u00e9"));
          await page.evaluate(() => serialStandIn.port("bench").plug());
        }
        if (n === 0) await new Promise((r) => setTimeout(r, 2500));  // an empty cable for a while
        await page.evaluate((id) => serialStandIn.port("bench").setUnit(id), id);
        await page.waitForFunction((n) => document.querySelectorAll("#rows tr").length === n, { timeout: 20000 }, n + 1);
        assert.equal(await text(page, "#status"), "Appareil lu sur usb:10C4:EA60 : retirez-le, puis branchez le suivant.");
        if (n === 0) await new Promise((r) => setTimeout(r, 1500));  // left on the cable: read once
        // Taken off: the page sees it go and waits for the next one.
        await page.evaluate(() => serialStandIn.port("bench").setUnit(null));
        await page.waitForFunction(() => document.getElementById("status").textContent.startsWith("Attente d'un appareil"));
      }
      // Each record from the handshake that reached its unit, as watch's.
      assert.deepEqual((await storedRecords(page)).map((r) => [r.outcome, r.serial, r.elapsed_ms < 2500]),
                       [["ok", 1001, true], ["ok", 1002, true], ["ok", 1003, true]]);
      await reload(page);
      assert.equal(await page.$eval("#auto", (s) => s.checked), true, "kept across visits");
      await page.click("#auto");
      await page.close();
    });

    test("a unit that refuses the handshake is told alike by read, watch and the page; only a Read records it", async () => {
      const said = (port) => `L'appareil sur ${port} a r\u00e9pondu, mais a refus\u00e9 la liaison : il est peut-\u00eatre occup\u00e9 par un autre poste ou programme.`;
      const refusing = (port) => `${port} : l'appareil refuse la liaison`;
      const env = { ...process.env, LD_PRELOAD: process.env.BRAVELLE_PTYSHIM, ASAN_OPTIONS: "verify_asan_link_order=0:detect_leaks=0" };
      const cli = async (command) => {
        const unit = await h.startUnit(SIMUNIT, w.dir, ["--refuse"]);
        w.units.push(unit);
        const log = path.join(w.dir, `refused-${command}.jsonl`);
        const args = [process.env.BRAVELLE_CLI, command, "--port", unit.slave, "--log", log, "--lang", "fr"];
        // watch runs on a terminal (its progress line shows only there) until an interrupt after four seconds.
        const run = command === "read" ? [args[0], [...args.slice(1), "--wait", "1", "--json"]]
                                       : ["script", ["-qec", `timeout --preserve-status -s INT 4 ${args.join(" ")}`, "/dev/null"]];
        const p = childProcess.spawn(run[0], run[1], { env, stdio: ["ignore", "pipe", "pipe"] });
        let out = "";
        let err = "";
        p.stdout.on("data", (d) => { out += d; });
        p.stderr.on("data", (d) => { err += d; });
        // Closed once both pipes are read to their end, after the exit.
        const code = await new Promise((resolve) => p.on("close", resolve));
        const records = fs.existsSync(log) ? fs.readFileSync(log, "utf8").split("\n").filter(Boolean).map(JSON.parse) : [];
        const said_ = (command === "read" ? err : out).split(/[\r\n]+/).filter((l) => l.includes("refus"));
        return [code, said_.filter((l) => l === said(unit.slave)).length,
                said_.some((l) => l.trim() === refusing(unit.slave)), records.map((r) => [r.outcome, r.error])];
      };
      await w.unit("refusing", ["--refuse"]);
      const page = await w.page([{ id: "refusing", ...CP210X, granted: true, plugged: true }]);
      const port = "usb:10C4:EA60";
      const kept = (await storedRecords(page)).length;
      const [read, watch] = [cli("read"), cli("watch")];
      await readUnit(page);
      const alert = await text(page, "#alert");
      // Plug-and-read says it on its waiting line, as watch on its progress line.
      await page.click("#auto");
      await page.waitForFunction((t) => document.getElementById("status").textContent === t, {}, refusing(port));
      await page.click("#auto");
      const inPage = [null, alert === said(port) ? 1 : 0, true, (await storedRecords(page)).slice(kept).map((r) => [r.outcome, r.error])];
      // [front end, exit code, the message said (times), the short line shown, the records kept]
      assert.deepEqual(
        [["read", ...await read], ["watch", ...await watch], ["page", ...inPage]],
        [["read", 2, 1, false, [["no-answer", "refused"]]],
         ["watch", 0, 1, true, []],
         ["page", null, 1, true, [["no-answer", "refused"]]]], alert);
      await page.close();
    });

    test("an answer that comes after the read gave up is kept, then purged before the next handshake", async () => {
      const unit = await w.unit("late");
      const page = await w.page([{ id: "late", ...CP210X, granted: true, plugged: true, lateFirstMs: 1300 }]);
      await readUnit(page);
      assert.deepEqual(await page.$$eval("#identity dd", (d) => d.map((e) => e.textContent)), ["0305419896", "5", "1.12"]);
      // The late 0x81 arrived during the second handshake's pause and went with its purge.
      assert.deepEqual(unit.transcript().slice(0, 4), ["H>U 80", "U>H 81", "H>U 80", "U>H 81"]);
      await page.close();
    });
  },

  Browser() {
    const w = world();
    test("a browser without Web Serial names the browsers that have it; on Android, a chooser that offers no port says what works instead", async () => {
      let page = await h.openPage(w.chromium.browser, w.site, { serial: null, locale: "fr-FR" });
      assert.match(await text(page, "#alert"), /Google Chrome ou Microsoft Edge, version 89 ou plus r\u00e9cente/);
      assert.deepEqual(await page.$$eval("#choose, #other, #read", (bs) => bs.map((b) => b.disabled)), [true, true, true]);
      await page.close();
      // Chrome for Android, whose chooser does not offer the cable.
      const android = "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/140.0.0.0 Mobile Safari/537.36";
      page = await h.openPage(w.chromium.browser, w.site, { serial: { bridge: w.bridge.url, ports: [], chooser: null }, userAgent: android });
      await page.click("#choose");
      await page.waitForSelector("#alert:not([hidden])");
      assert.equal(await text(page, "#alert"), "Aucun port choisi. Sur un t\u00e9l\u00e9phone ou une tablette, le navigateur ne pilote " +
        "peut-\u00eatre pas l'adaptateur du c\u00e2ble (Chrome pour Android ne piloterait pas les adaptateurs USB CP210x, FTDI " +
        "ni PL2303). Lisez plut\u00f4t l'appareil depuis un ordinateur : Google Chrome ou Microsoft Edge, Bravelle sous Windows, ou bravelle-cli.");
      await page.close();
    });

    test("where the browser keeps nothing, the readings stay for the visit and the page says so once", async () => {
      await w.unit("kept-not");
      const page = await w.page([{ id: "kept-not", ...CP210X, granted: true, plugged: true }], "fr-FR", null, { storage: "off" });
      assert.equal(await text(page, "#notice"), "Ce navigateur ne garde rien pour cette page : les lectures seront perdues " +
                                                "\u00e0 sa fermeture. Exportez-les avant de la fermer.");
      await readUnit(page);
      assert.deepEqual((await tableRows(page)).map((r) => r.slice(2, 6)), [["0305419896", "5", "1.12", "lu"]]);
      assert.equal(await page.$eval("#read", (b) => b.disabled), false);
      await page.close();
    });

    test("10,000 readings kept: the newest page, the oldest, a search, a reading as before; a full storage loses nothing shown; an early Export waits for the store", async () => {
      await w.unit("many", ["--serial", "4242"]);
      const ports = [{ id: "many", ...CP210X, granted: true, plugged: true }];
      let page = await w.page(ports);
      await page.evaluate(() => new Promise((resolve, reject) => {
        const open = indexedDB.open("bravelle");
        open.onsuccess = () => {
          const tx = open.result.transaction("readings", "readwrite");
          for (let n = 1; n <= 10000; ++n) {
            // Every thousandth on a named fixture, every 2500th rejected.
            const json = JSON.stringify({ schema: 2, outcome: n % 2500 ? "ok" : "rejected", fixture: n % 1000 ? undefined : "Banc 7",
                                          port: "usb:10C4:EA60", serial: n, serial_text: String(n).padStart(10, "0"),
                                          circuit: 5, software: "1.12", time: "2026-12-01T08:00:00.000Z" });
            tx.objectStore("readings").add({ json, csv: "", csvSemicolon: "" });
          }
          tx.oncomplete = resolve;
          tx.onerror = () => reject(tx.error);
        };
      }));
      await reload(page);
      assert.equal(await text(page, "#page-of"), "Lectures 1 \u00e0 50 sur 10000");
      const rows = await tableRows(page);
      assert.deepEqual([rows.length, rows[0][2], rows[49][2]], [50, "0000010000", "0000009951"]);
      await page.click("#last");
      assert.equal(await text(page, "#page-of"), "Lectures 9951 \u00e0 10000 sur 10000");
      assert.equal((await tableRows(page))[49][2], "0000000001");
      await page.click("#first");
      await page.click("#older");
      assert.equal(await text(page, "#page-of"), "Lectures 51 \u00e0 100 sur 10000");
      await page.type("#search", "0000004242");
      assert.deepEqual((await tableRows(page)).map((r) => r[2]), ["0000004242"]);
      // By port name or by outcome, as the table shows them.
      const find = (words) => page.$eval("#search", (s, words) => { s.value = words; s.dispatchEvent(new Event("input")); }, words);
      await find("banc 7");
      assert.equal((await tableRows(page)).length, 10);
      await find("refus\u00e9");
      assert.deepEqual((await tableRows(page)).map((r) => r[2]), ["0000010000", "0000007500", "0000005000", "0000002500"]);
      await find("");

      await readUnit(page);
      assert.deepEqual((await tableRows(page))[0].slice(2), ["0000004242", "5", "1.12", "lu", ""]);
      await page.evaluate(() => serialStandIn.fillStorage());
      await readUnit(page);
      assert.match(await text(page, "#notice"), /^Cette lecture n'a pas pu \u00eatre gard\u00e9e dans le navigateur \(QuotaExceededError\)/);
      assert.deepEqual((await tableRows(page))[0].slice(2), ["0000004242", "5", "1.12", "lu", "D\u00e9j\u00e0 lu"]);
      assert.equal(await page.$eval("#read", (b) => b.disabled), false, "Read comes back");
      await page.close();
      // A store slow to open: the table says the readings load, Read is there already, and an Export pressed
      // meanwhile downloads them all once the store is read.
      page = await w.page(ports, "fr-FR", null, { holdStore: true });
      await page.waitForFunction(() => !document.getElementById("read").disabled);
      assert.equal(await text(page, "#no-readings"), "Chargement des lectures gard\u00e9es...");
      const exported = nextDownload(w, "bravelle-readings.jsonl");
      await page.click("#export-jsonl");
      await page.evaluate(() => serialStandIn.releaseStore());
      assert.equal((await exported).split("\n").length, 10002);
      await page.waitForSelector("body[data-ready]");
      assert.equal(await text(page, "#page-of"), "Lectures 1 \u00e0 50 sur 10001");
      await page.click("#clear");
      await page.close();
    });

    test("an update of the site, found by the browser itself at a load, runs from the next one, its own files and not the HTTP cache's, and is told once", async () => {
      const dir = h.tempDir("site");
      fs.cpSync(SITE, dir, { recursive: true });
      // A host that marks its files fresh for an hour, as most do.
      const site = await h.serveSite(dir, { maxAgeS: 3600 });
      try {
        const page = await h.openPage(w.chromium.browser, site, { serial: { bridge: w.bridge.url, ports: [], chooser: null } });
        const [old, next] = [await page.evaluate(() => navigator.serviceWorker.ready.then(() => self.BRAVELLE_VERSION)), "0123456789abcdef"];
        fs.appendFileSync(path.join(dir, "app.js"), '\ndocument.documentElement.dataset.build = "next";\n');
        for (const f of ["version.js", "sw.js"]) {
          fs.writeFileSync(path.join(dir, f), fs.readFileSync(path.join(dir, f), "utf8").replaceAll(old, next));
        }
        // No update() asked: a load is when the browser looks for a new service worker, and installs it beside the page.
        await reload(page);
        await page.waitForFunction(async (next) => (await caches.keys()).join() === "bravelle-" + next, { polling: 100 }, next);
        await reload(page);
        assert.equal(await page.evaluate(() => document.documentElement.dataset.build), "next");
        assert.equal(await text(page, "#notice"), "Bravelle Web a \u00e9t\u00e9 mis \u00e0 jour (version 0123456789abcdef).");
        await reload(page);
        assert.equal(await text(page, "#notice"), null, "said once");
        await page.close();
      } finally {
        await site.close();
        fs.rmSync(dir, { recursive: true, force: true });
      }
    });

    test("the site is installable and opens offline from its service worker", async () => {
      const page = await w.page([]);
      await page.evaluate(() => navigator.serviceWorker.ready);
      const cdp = await page.createCDPSession();
      const { installabilityErrors } = await cdp.send("Page.getInstallabilityErrors");
      assert.deepEqual(installabilityErrors, []);
      await w.site.close();
      w.site = null;
      await reload(page);
      assert.equal(await text(page, "#status"), "Aucun port choisi : branchez le c\u00e2ble de l'appareil et choisissez son port.");
      await page.close();
    });
  },
};

if (!groups[GROUP]) {
  console.error("usage: node test_web.js " + Object.keys(groups).join("|"));
  process.exit(64);
}
describe("web." + GROUP, () => groups[GROUP]());
