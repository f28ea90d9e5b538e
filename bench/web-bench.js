// Bravelle Web in headless chromium against the simulated unit: a reading's wall time beside the link's own
// waits and the stand-in's round trips (what is left is the page's share), the same with 10,000 readings
// kept, the page's load to ready (first, and from its service worker), with 50,000 kept the load's steps
// and a reading pressed while they load beside one pressed after, and the site's size.
//   NODE_PATH=build/native/tests/web/node_modules node bench/web-bench.js SITE_DIR SIMUNIT [READINGS]
"use strict";

const fs = require("fs");
const path = require("path");
const h = require("../tests/web/harness");

// The handshake's one-second pause and the release's 200 ms sleep: no reading is shorter.
const LINK_WAITS_MS = 1200;
const STORED = 10000;
const MANY = 50000;

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

// One reading from the click to the answer shown, as the technician waits for it, and the stand-in's round
// trips in it.
function oneReading(page) {
  return page.evaluate(() => new Promise((resolve) => {
    const before = document.body.dataset.readings || "0";
    const tripsBefore = serialStandIn.roundTrips.ms;
    const start = performance.now();
    new MutationObserver((_, observer) => {
      if ((document.body.dataset.readings || "0") === before) return;
      observer.disconnect();
      resolve([performance.now() - start, serialStandIn.roundTrips.ms - tripsBefore]);
    }).observe(document.body, { attributes: true });
    document.getElementById("read").click();
  }));
}

async function readings(page, count) {
  const walls = [];
  const trips = [];
  for (let i = 0; i < count; ++i) {
    const [wall, trip] = await oneReading(page);
    walls.push(wall);
    trips.push(trip);
  }
  const outcomes = await page.$$eval("#rows tr td:nth-child(6)", (cells) => cells.map((c) => c.textContent));
  if (outcomes.slice(0, count).some((o) => o !== outcomes[0])) throw new Error("a reading failed: " + outcomes);
  const wall = median(walls);
  const trip = median(trips);
  return { wall, trip, share: wall - LINK_WAITS_MS - trip, walls };
}

// With that many kept: each load's first rows, Read enabled and all readings in, from the page's marks; a
// reading pressed as soon as Read is enabled, beside one pressed once everything is in.
async function loading(page, count) {
  const steps = { rows: [], ready: [], all: [], early: [], late: [] };
  for (let i = 0; i < count; ++i) {
    await page.reload();
    await page.waitForFunction(() => !document.getElementById("read").disabled, { polling: "raf" });
    steps.early.push((await oneReading(page))[0]);
    await page.waitForSelector("body[data-ready]");
    const marks = await page.evaluate(() => ["bravelle-rows", "bravelle-ready", "bravelle-readings"]
      .map((name) => performance.getEntriesByName(name)[0].startTime));
    for (const [n, step] of ["rows", "ready", "all"].entries()) steps[step].push(marks[n]);
    steps.late.push((await oneReading(page))[0]);
  }
  const line = (step) => `${median(steps[step]).toFixed(0)} ms (${steps[step].map((v) => v.toFixed(0)).join(", ")})`;
  console.log(`${MANY} readings kept: first rows shown at ${line("rows")}, Read enabled at ${line("ready")}, ` +
              `all readings in at ${line("all")} (medians)`);
  console.log(`${MANY} readings kept: a reading pressed as soon as Read is enabled ${line("early")}, ` +
              `one pressed once all are in ${line("late")}; ratio ${(median(steps.early) / median(steps.late)).toFixed(3)}`);
}

function report(label, r) {
  console.log(`${label}: click to answer ${r.wall.toFixed(0)} ms (median; ${r.walls.map((w) => w.toFixed(0)).join(", ")}), ` +
              `ratio to the link's ${LINK_WAITS_MS} ms of waits ${(r.wall / LINK_WAITS_MS).toFixed(3)} (goal <= 1.10); ` +
              `stand-in round trips ${r.trip.toFixed(0)} ms, the page's share ${r.share.toFixed(0)} ms`);
}

async function main() {
  const [site, simunit, count = "5"] = process.argv.slice(2);
  if (!site || !simunit) {
    console.error("usage: node bench/web-bench.js SITE_DIR SIMUNIT [READINGS]");
    process.exit(64);
  }
  const dir = h.tempDir("bench");
  const server = await h.serveSite(path.resolve(site));
  const bridge = await h.startBridge();
  const unit = await h.startUnit(simunit, dir);
  bridge.attach("cp", unit);
  const chromium = await h.launchBrowser();
  try {
    const serial = { bridge: bridge.url, chooser: null, ports: [{ id: "cp", usbVendorId: 0x10c4, usbProductId: 0xea60, granted: true, plugged: true }] };
    const page = await h.openPage(chromium.browser, server, { serial });
    const firstReady = await page.evaluate(() => performance.getEntriesByName("bravelle-ready")[0].startTime);
    await page.evaluate(() => navigator.serviceWorker.ready);
    const none = await readings(page, Number(count));
    await page.reload();
    await page.waitForSelector("body[data-ready]");
    const swFew = await page.evaluate(() => performance.getEntriesByName("bravelle-ready")[0].startTime);

    await page.evaluate((stored) => new Promise((resolve, reject) => {
      const open = indexedDB.open("bravelle");
      open.onsuccess = () => {
        const tx = open.result.transaction("readings", "readwrite");
        const store = tx.objectStore("readings");
        store.getAll().onsuccess = (e) => {
          const model = e.target.result[0];
          for (let n = 0; n < stored; ++n) store.add(model);
        };
        tx.oncomplete = resolve;
        tx.onerror = () => reject(tx.error);
      };
    }), STORED);
    await page.reload();
    await page.waitForSelector("body[data-ready]");
    const swReady = await page.evaluate(() => [performance.getEntriesByName("bravelle-ready")[0].startTime,
                                               navigator.serviceWorker.controller !== null,
                                               performance.getEntriesByName("bravelle-readings")[0].startTime]);
    const many = await readings(page, Number(count));

    await page.evaluate((more) => new Promise((resolve, reject) => {
      const open = indexedDB.open("bravelle");
      open.onsuccess = () => {
        const tx = open.result.transaction("readings", "readwrite");
        const store = tx.objectStore("readings");
        store.getAll(null, 1).onsuccess = (e) => {
          for (let n = 0; n < more; ++n) store.add(e.target.result[0]);
        };
        tx.oncomplete = resolve;
        tx.onerror = () => reject(tx.error);
      };
    }), MANY - STORED - 2 * Number(count));

    const files = fs.readdirSync(site).map((f) => path.join(site, f)).filter((f) => fs.statSync(f).isFile());
    const kb = (bytes) => (bytes / 1024).toFixed(1) + " KB";
    const wasm = fs.statSync(path.join(site, "bravelle.wasm")).size;
    const total = files.reduce((sum, f) => sum + fs.statSync(f).size, 0);
    report(`reading, no readings kept`, none);
    report(`reading, ${STORED} readings kept`, many);
    console.log(`load to ready, first load, nothing cached: ${firstReady.toFixed(0)} ms (goal <= 500 ms)`);
    console.log(`load to ready from the service worker, ${count} readings kept: ${swFew.toFixed(0)} ms (goal <= 200 ms)`);
    console.log(`load to ready from the service worker (controlled: ${swReady[1]}), ${STORED} readings kept: ` +
                `${swReady[0].toFixed(0)} ms (goal <= 200 ms); the readings in the table at ${swReady[2].toFixed(0)} ms`);
    await loading(page, Number(count));
    console.log(`bravelle.wasm: ${kb(wasm)} (goal <= 300 KB); whole site, ${files.length} files: ${kb(total)} (goal <= 500 KB)`);
  } finally {
    await chromium.close();
    await unit.stop();
    await bridge.close();
    await server.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
