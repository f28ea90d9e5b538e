// Bravelle Web in headless chromium against the simulated unit: a reading's wall time beside the link's own
// waits, the page's load to ready, and the site's size.
//   NODE_PATH=build/native/tests/web/node_modules node bench/web-bench.js SITE_DIR SIMUNIT [READINGS]
"use strict";

const fs = require("fs");
const path = require("path");
const h = require("../tests/web/harness");

// The handshake's one-second pause and the release's 200 ms sleep: no reading is shorter.
const LINK_WAITS_MS = 1200;

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

async function main() {
  const [site, simunit, count = "5"] = process.argv.slice(2);
  if (!site || !simunit) {
    console.error("usage: node bench/web-bench.js SITE_DIR SIMUNIT [READINGS]");
    process.exit(64);
  }
  const readings = Number(count);
  const dir = h.tempDir("bench");
  const server = await h.serveSite(path.resolve(site));
  const bridge = await h.startBridge();
  const unit = await h.startUnit(simunit, dir);
  bridge.attach("cp", unit);
  const chromium = await h.launchBrowser();
  try {
    const page = await h.openPage(chromium.browser, server, {
      serial: { bridge: bridge.url, chooser: null, ports: [{ id: "cp", usbVendorId: 0x10c4, usbProductId: 0xea60, granted: true, plugged: true }] },
    });
    const ready = await page.evaluate(() => performance.getEntriesByName("bravelle-ready")[0].startTime);
    const walls = [];
    for (let i = 0; i < readings; ++i) {
      // From the click to the answer shown, as the technician waits for it.
      walls.push(await page.evaluate(() => new Promise((resolve) => {
        const before = document.body.dataset.readings || "0";
        const start = performance.now();
        new MutationObserver((_, observer) => {
          if ((document.body.dataset.readings || "0") === before) return;
          observer.disconnect();
          resolve(performance.now() - start);
        }).observe(document.body, { attributes: true });
        document.getElementById("read").click();
      })));
    }
    const outcomes = await page.$$eval("#rows tr td:nth-child(6)", (cells) => cells.map((c) => c.textContent));
    if (outcomes.length !== readings || outcomes.some((o) => o !== outcomes[0])) throw new Error("a reading failed: " + outcomes);

    const files = fs.readdirSync(site).map((f) => path.join(site, f)).filter((f) => fs.statSync(f).isFile());
    const kb = (bytes) => (bytes / 1024).toFixed(1) + " KB";
    const wasm = fs.statSync(path.join(site, "bravelle.wasm")).size;
    const total = files.reduce((sum, f) => sum + fs.statSync(f).size, 0);
    const wall = median(walls);
    console.log(`reading, click to answer (median of ${readings}): ${wall.toFixed(0)} ms ` +
                `(${walls.map((w) => w.toFixed(0)).join(", ")})`);
    console.log(`link's own waits: ${LINK_WAITS_MS} ms; ratio ${(wall / LINK_WAITS_MS).toFixed(3)} (goal <= 1.10)`);
    console.log(`load to ready (first load, nothing cached): ${ready.toFixed(0)} ms`);
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
