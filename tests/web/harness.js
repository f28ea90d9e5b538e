// What the browser tests and the web benchmark share: the site served on 127.0.0.1, the simulated unit on a
// pty, the bridge that carries the stand-in's bytes to it, and Debian's chromium with a private profile.
"use strict";

const childProcess = require("child_process");
const fs = require("fs");
const http = require("http");
const os = require("os");
const path = require("path");
const tty = require("tty");
const puppeteer = require("puppeteer-core");
const { WebSocketServer } = require("ws");
const { installSerialStandIn, removeSerial } = require("./standin");

const TYPES = {
  ".html": "text/html; charset=utf-8", ".js": "text/javascript", ".css": "text/css", ".wasm": "application/wasm",
  ".webmanifest": "application/manifest+json", ".png": "image/png", ".svg": "image/svg+xml",
};

function tempDir(tag) {
  return fs.mkdtempSync(path.join(os.tmpdir(), "bravelle-web-" + tag + "-"));
}

// The site as any static host serves it; close() takes it off the network, as when a technician goes offline.
// maxAgeS: the files are marked fresh for that long, as most hosts do, so the HTTP cache keeps them.
async function serveSite(root, { maxAgeS = 0 } = {}) {
  const sockets = new Set();
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, "http://x").pathname).replace(/^\/+/, "") || "index.html";
    const file = path.join(root, path.normalize(name));
    if (!file.startsWith(root) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    res.writeHead(200, { "Content-Type": TYPES[path.extname(file)] || "application/octet-stream", "Cache-Control": maxAgeS ? `max-age=${maxAgeS}` : "no-cache" });
    res.end(fs.readFileSync(file));
  });
  server.on("connection", (s) => { sockets.add(s); s.on("close", () => sockets.delete(s)); });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    close: () => new Promise((resolve) => { for (const s of sockets) s.destroy(); server.close(resolve); }),
  };
}

// The simulated unit on a pty of its own; its transcript holds every byte on the line.
async function startUnit(simunit, dir, options = []) {
  const tag = String(process.hrtime.bigint());
  const ready = path.join(dir, `unit-${tag}.ready`);
  const transcript = path.join(dir, `unit-${tag}.transcript`);
  const proc = childProcess.spawn(simunit, ["--ready-file", ready, "--transcript", transcript, ...options.map(String)],
                                   { stdio: "ignore" });
  const deadline = Date.now() + 10000;
  while (!fs.existsSync(ready)) {
    if (proc.exitCode !== null || Date.now() > deadline) throw new Error("simunit did not start");
    await new Promise((r) => setTimeout(r, 10));
  }
  const exited = new Promise((resolve) => proc.once("exit", resolve));
  return {
    slave: fs.readFileSync(ready, "utf8").trim(),
    transcript: () => fs.readFileSync(transcript, "utf8").split("\n").filter((l) => l.trim())
      .map((l) => l.split(/\s+/).slice(1, 3).join(" ")),
    stop: async () => {
      if (proc.exitCode === null) {
        proc.kill("SIGTERM");
        await exited;
      }
    },
  };
}

// Carries a stand-in port's bytes to a unit's pty and back, one WebSocket per open().
// The unit's line hanging up closes the socket: to the page, the cable was pulled.
async function startBridge() {
  const units = new Map();
  const server = new WebSocketServer({ host: "127.0.0.1", port: 0 });
  server.on("connection", (ws, req) => {
    const unit = units.get(decodeURIComponent(req.url.slice(1)));
    if (!unit) {
      ws.close(4004);
      return;
    }
    // The unit's own slave descriptor keeps the pty raw, so nothing is echoed or translated.
    const fd = fs.openSync(unit.slave, fs.constants.O_RDWR | fs.constants.O_NOCTTY);
    const line = new tty.ReadStream(fd);
    let open = true;
    const finish = () => {
      if (!open) return;
      open = false;
      line.destroy();
      if (ws.readyState === ws.OPEN) ws.close(4000, "line hung up");
    };
    line.on("data", (bytes) => { if (ws.readyState === ws.OPEN) ws.send(bytes); });
    line.on("error", finish);
    line.on("end", finish);
    ws.on("message", (bytes) => {
      if (!open) return;
      try {
        fs.writeSync(fd, Buffer.from(bytes));
      } catch (e) {
        finish();
      }
    });
    ws.on("close", () => {
      if (!open) return;
      open = false;
      line.destroy();
    });
  });
  await new Promise((resolve) => server.once("listening", resolve));
  return {
    url: `ws://127.0.0.1:${server.address().port}`,
    attach: (id, unit) => units.set(id, unit),
    close: () => new Promise((resolve) => {
      for (const ws of server.clients) ws.terminate();
      server.close(resolve);
    }),
  };
}

function findChromium() {
  if (process.env.BRAVELLE_CHROMIUM) return process.env.BRAVELLE_CHROMIUM;
  for (const dir of (process.env.PATH || "").split(path.delimiter)) {
    const candidate = path.join(dir, "chromium");
    if (fs.existsSync(candidate)) return candidate;
  }
  throw new Error("chromium is not on PATH (tools/ensure-packages.sh installs it)");
}

// Debian's chromium, headless, with a profile of its own that goes with it.
async function launchBrowser() {
  const profile = tempDir("profile");
  const browser = await puppeteer.launch({
    executablePath: findChromium(),
    headless: true,
    userDataDir: profile,
    args: ["--no-sandbox", "--no-first-run", "--no-default-browser-check", "--disable-gpu", "--window-size=1000,760"],
    defaultViewport: { width: 1000, height: 760 },
  });
  const pid = browser.process().pid;
  return {
    browser,
    close: async () => {
      try {
        await Promise.race([browser.close(), new Promise((r) => setTimeout(r, 5000))]);
      } finally {
        try { process.kill(pid, "SIGKILL"); } catch (e) { /* already gone */ }
        fs.rmSync(profile, { recursive: true, force: true });
      }
    },
  };
}

// A page of the site in the given locale, with the stand-in for navigator.serial
// (serial: its config), or with no Web Serial at all (serial: null); userAgent: another browser's, as
// Chrome for Android's. page.dialogs: the types of the dialogs it opened, each accepted. Returned once the
// page is ready, with its readings loaded, unless ready is false.
async function openPage(browser, site, { serial, locale = "fr-FR", userAgent, ready = true }) {
  const page = await browser.newPage();
  const cdp = await page.createCDPSession();
  // The browser's language, as the user set it: navigator.language and Accept-Language.
  await cdp.send("Emulation.setUserAgentOverride", { userAgent: userAgent || await browser.userAgent(), acceptLanguage: locale });
  if (serial) await page.evaluateOnNewDocument(installSerialStandIn, serial);
  else await page.evaluateOnNewDocument(removeSerial);
  page.dialogs = [];
  page.on("dialog", (dialog) => {
    page.dialogs.push(dialog.type());
    dialog.accept();
  });
  page.on("pageerror", (e) => console.error("page error:", e.message));
  await page.goto(site.url);
  if (ready) await page.waitForSelector("body[data-ready]");
  return page;
}

module.exports = { tempDir, serveSite, startUnit, startBridge, launchBrowser, openPage };
