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
  w.page = (ports, locale = "fr-FR", chooser = null) =>
    h.openPage(w.chromium.browser, w.site, { serial: { bridge: w.bridge.url, ports, chooser }, locale });
  return w;
}

const text = (page, selector) => page.$eval(selector, (e) => (e.hidden ? null : e.textContent));
const paneLines = (page) => page.$$eval("#pane .line", (lines) => lines.map((l) => l.textContent));
const tableRows = (page) => page.$$eval("#rows tr", (rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));

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
      await readUnit(page);
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
      await readUnit(page);
      assert.deepEqual(await paneLines(page), windowPane("fr").concat(windowPane("en")), "the pane keeps every reading");
      const rows = await tableRows(page);
      assert.deepEqual(rows.map((r) => r.slice(1)), [
        ["usb:10C4:EA60", "0305419896", "5", "1.12", "read", ""],
        ["usb:10C4:EA60", "0305419896", "5", "1.12", "read", "Read before"],
      ]);
      w.readingPage = page;
    });

    test("the exports hold bravelle-cli's fields, and the readings and the language outlive a reload until cleared", async () => {
      const page = w.readingPage;
      const downloads = h.tempDir("downloads");
      const cdp = await w.chromium.browser.target().createCDPSession();
      await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
      const fetchFile = async (button, name) => {
        await page.click(button);
        const file = path.join(downloads, name);
        for (let i = 0; i < 100 && !fs.existsSync(file); ++i) await new Promise((r) => setTimeout(r, 50));
        return fs.readFileSync(file, "utf8");
      };
      const jsonl = await fetchFile("#export-jsonl", "bravelle-readings.jsonl");
      assert.ok(jsonl.endsWith("}\n"));
      const records = jsonl.trimEnd().split("\n").map((l) => JSON.parse(l));
      for (const r of records) {
        assert.match(r.time, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$/);
        assert.ok(r.elapsed_ms >= 1200, "the handshake's pause and the release's sleep are the floor");
        delete r.time;
        delete r.elapsed_ms;
      }
      const good = { schema: 2, outcome: "ok", port: "usb:10C4:EA60", type: "P04", serial: 305419896,
                     serial_text: "0305419896", circuit: 5, software: "1.12", status: 0 };
      assert.deepEqual(records, [good, { ...good, repeat: true }]);
      const csv = await fetchFile("#export-csv", "bravelle-readings.csv");
      const lines = csv.split("\r\n");
      assert.deepEqual(lines[0].split(","), ["schema", "outcome", "error", "message", "fixture", "port", "location", "type",
                                             "serial", "serial_text", "circuit", "software", "status", "elapsed_ms", "time",
                                             "repeat", "duplicate"]);
      assert.deepEqual(lines.slice(1).map((l) => l.split(",").filter((_, i) => i !== 13 && i !== 14)), [
        ["2", "ok", "", "", "", "usb:10C4:EA60", "", "P04", "305419896", "0305419896", "5", "1.12", "0", "false", "false"],
        ["2", "ok", "", "", "", "usb:10C4:EA60", "", "P04", "305419896", "0305419896", "5", "1.12", "0", "true", "false"],
        [""],
      ]);
      fs.rmSync(downloads, { recursive: true, force: true });

      await page.reload();
      await page.waitForSelector("body[data-ready]");
      assert.equal(await text(page, "#read"), "Read", "the language chosen is kept");
      assert.equal((await tableRows(page)).length, 2);
      await page.click("#clear");
      await page.reload();
      await page.waitForSelector("body[data-ready]");
      assert.deepEqual(await tableRows(page), []);
      assert.equal(await text(page, "#no-readings"), "No reading yet.");
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
      ports.push({ id: "held", ...CP210X, granted: false, plugged: true, busy: true });
      const page = await w.page(ports, "en-US");
      assert.equal(await text(page, "#status"), "No port chosen: plug in the unit's cable and choose its port.");
      assert.equal(await page.$eval("#read", (b) => b.disabled), true);

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
        // A parity error costs the byte, not the port.
        ["parity", [" ", lost], "stopped answering during the reading (code 100002)", "link lost"],
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
        assert.equal((await tableRows(page)).pop()[5], outcome, id);
      }
      // The wrong unit is released after the type check, as the window does.
      assert.deepEqual(p05.transcript().slice(-7), ["H>U 9E", "H>U 38", "H>U 31", "U>H 84", "U>H 84", "H>U 04", "U>H 84"]);
      // The pulled cable leaves the port gone and nothing to read with.
      assert.equal(await text(page, "#status"), "The port usb:0403:6005 is unplugged: plug the cable in again.");
      assert.equal(await page.$eval("#read", (b) => b.disabled), true);
      await page.evaluate(() => serialStandIn.port("hangup").plug());
      await page.waitForFunction(() => !document.getElementById("read").disabled);
      assert.equal(await text(page, "#status"), "Port: usb:0403:6005");

      await page.evaluate(() => serialStandIn.choose("held"));
      await page.click("#choose");
      await page.waitForFunction(() => !document.getElementById("read").disabled);
      await readUnit(page);
      assert.equal(await text(page, "#alert"), "The port usb:10C4:EA60 does not open: another program probably holds it " +
                                               "(Bravelle, a serial terminal, another tab...). Close it and read again.");
      assert.deepEqual(await page.evaluate(() => serialStandIn.requests), [
        { filters: [{ usbVendorId: 0x10c4 }] }, {}, {}, {}, {}, {}, { filters: [{ usbVendorId: 0x10c4 }] }]);
      const records = await page.evaluate(() => JSON.parse(localStorage.getItem("bravelle.readings")).map((r) => JSON.parse(r.json)));
      assert.deepEqual(records.map((r) => [r.outcome, r.error, r.status]), [
        ["wrong-unit", "wrong-unit", 100020], ["link-lost", "link-lost", 100002], ["link-lost", "bad-reply", 100003],
        ["link-lost", "link-lost", 100002], ["link-lost", "link-lost", 19], ["port-error", "port-busy", 16]]);
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
    test("a browser without Web Serial names the browsers that have it", async () => {
      const page = await h.openPage(w.chromium.browser, w.site, { serial: null, locale: "fr-FR" });
      assert.match(await text(page, "#alert"), /Google Chrome ou Microsoft Edge, version 89 ou plus r\u00e9cente/);
      assert.deepEqual(await page.$$eval("#choose, #other, #read", (bs) => bs.map((b) => b.disabled)), [true, true, true]);
      await page.close();
    });

    test("the site is installable and opens offline from its service worker", async () => {
      const page = await w.page([]);
      await page.evaluate(() => navigator.serviceWorker.ready);
      const cdp = await page.createCDPSession();
      const { installabilityErrors } = await cdp.send("Page.getInstallabilityErrors");
      assert.deepEqual(installabilityErrors, []);
      await w.site.close();
      w.site = null;
      await page.reload();
      await page.waitForSelector("body[data-ready]");
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
