// The tests' stand-in for navigator.serial: the Web Serial interface in the page, its bytes carried over a
// WebSocket to the harness and from there to the simulated unit on a pty. Test code only: installed by
// page.evaluateOnNewDocument before the page's own scripts.
"use strict";

// Runs in the page; everything it needs comes in config:
//   bridge    the harness's WebSocket address
//   ports     [{ id, usbVendorId, usbProductId, bluetoothServiceClassId, granted, plugged, busy, lateFirstMs,
//               latencyMs, parityErrorAt, stuckWrites, unit }]
//             without ids: a port the system does not describe (a built-in one)
//             busy: open() rejected, true or the name of Chrome's error ("InvalidStateError": open in
//             this browser already, "SecurityError": permission refused); lateFirstMs: the first chunk
//             comes that late; latencyMs: what came is handed over at that pace, in one chunk (an FTDI's
//             latency timer is 16 ms); parityErrorAt: that chunk (1, 2, ...) is lost to a parity error, as
//             Chrome reports one; stuckWrites: the adapter takes no byte (flow control held) until
//             unstick(); unit: the bridge's unit on the cable (default the port's id; null: none)
//   chooser   the id of the port the user picks in requestPort's chooser, or null (the chooser closed); the
//             chooser lists only the ports its filters let through, so one they keep out cannot be picked
//   listingMs getPorts() answers that late, as a busy system does
//   storage   "off": the browser keeps nothing for the page (localStorage and IndexedDB throw);
//             "full": every write is refused for want of room (also set by serialStandIn.fillStorage())
//   holdStore the page's IndexedDB opens only at serialStandIn.releaseStore(), as a slow disk has it
function installSerialStandIn(config) {
  const lost = () => new DOMException("The device has been lost.", "NetworkError");

  class SerialPort extends EventTarget {
    constructor(spec) {
      super();
      this.spec = spec;
      this.readable = null;
      this.writable = null;
      this.opens = [];     // the options of every open()
      this.signals = [];   // every setSignals() argument
      this.closes = 0;
      this.unitId = spec.unit === undefined ? spec.id : spec.unit;
      this.stuck = [];
    }

    get connected() { return this.spec.plugged; }

    getInfo() {
      const info = {};
      for (const id of ["usbVendorId", "usbProductId", "bluetoothServiceClassId"]) {
        if (this.spec[id] !== undefined) info[id] = this.spec[id];
      }
      return info;
    }

    // As Chrome's chooser: a filter lets a port through when every id it names is the port's.
    offered(filters) {
      const info = this.getInfo();
      return !filters || filters.length === 0 || filters.some((f) => Object.keys(f).every((id) => info[id] === f[id]));
    }

    async open(options) {
      if (this.readable) throw new DOMException("The port is already open.", "InvalidStateError");
      this.opens.push(options);
      // What Chrome says when the system will not open the port: another program holds it, or it is gone.
      if (typeof this.spec.busy === "string") throw new DOMException("Refused.", this.spec.busy);
      if (this.spec.busy || !this.spec.plugged) throw new DOMException("Failed to open serial port.", "NetworkError");
      this.chunks = 0;
      this.newReadable();
      try {
        await this.connect();
      } catch (e) {
        this.readable = this.controller = null;
        throw e;
      }
      this.writable = new WritableStream({
        write: (chunk, controller) => {
          if (!this.spec.plugged) throw lost();
          if (!this.spec.stuckWrites) return this.send(chunk);
          // Held until unstick(); a stream aborted meanwhile drops it, as the driver purges its buffer.
          return new Promise((resolve) => this.stuck.push(() => {
            if (!controller.signal.aborted) this.send(chunk);
            resolve();
          }));
        },
      });
    }

    // Each byte sent until the unit's answer: the stand-in's own share of a reading, for the benchmark.
    send(chunk) {
      if (!this.ws || this.ws.readyState !== WebSocket.OPEN) return;
      if (this.sentAt === undefined) this.sentAt = performance.now();
      this.ws.send(chunk);
    }

    unstick() {
      this.spec.stuckWrites = false;
      for (const go of this.stuck.splice(0)) go();
    }

    // The unit on the cable: a socket to it through the bridge, or nothing (a cable with no unit is silent).
    async connect() {
      if (this.unitId === null) return;
      const ws = new WebSocket(config.bridge + "/" + encodeURIComponent(this.unitId));
      ws.binaryType = "arraybuffer";
      await new Promise((resolve, reject) => {
        ws.onopen = resolve;
        ws.onerror = () => reject(new DOMException("Failed to open serial port.", "NetworkError"));
      });
      this.ws = ws;
      let late = this.spec.lateFirstMs || 0;
      let held = [];
      const deliver = (bytes) => {
        if (this.sentAt !== undefined) {
          roundTrips.count++;
          roundTrips.ms += performance.now() - this.sentAt;
          this.sentAt = undefined;
        }
        if (!this.controller) return;
        if (++this.chunks === this.spec.parityErrorAt) {
          // The stream ends with the error and the port offers a new one; the chunk is gone.
          this.controller.error(new DOMException("A parity error was detected.", "ParityError"));
          this.newReadable();
          return;
        }
        this.controller.enqueue(bytes);
      };
      ws.onmessage = (event) => {
        const bytes = new Uint8Array(event.data);
        if (late > 0) {
          setTimeout(() => deliver(bytes), late);
          late = 0;
        } else if (this.spec.latencyMs) {
          if (held.length === 0) setTimeout(() => { deliver(Uint8Array.from(held)); held = []; }, this.spec.latencyMs);
          held.push(...bytes);
        } else {
          deliver(bytes);
        }
      };
      // The harness closes the socket when the unit's line hangs up: the cable was pulled.
      ws.onclose = () => { if (this.ws === ws) this.unplug(); };
    }

    // Another unit plugged into the cable (or none), the port staying open.
    async setUnit(id) {
      const ws = this.ws;
      this.ws = null;
      if (ws) ws.close();
      this.unitId = id;
      if (this.readable) await this.connect();
    }

    newReadable() {
      this.readable = new ReadableStream({
        start: (controller) => { this.controller = controller; },
        cancel: () => { this.controller = null; },
      });
    }

    async setSignals(signals) {
      if (!this.readable) throw new DOMException("The port is closed.", "InvalidStateError");
      if (!this.spec.plugged) throw lost();
      this.signals.push(signals);
    }

    async close() {
      if (!this.readable && !this.writable) throw new DOMException("The port is already closed.", "InvalidStateError");
      if ((this.readable && this.readable.locked) || (this.writable && this.writable.locked)) {
        throw new TypeError("Cannot cancel a locked stream");
      }
      this.closes++;
      const ws = this.ws;
      this.ws = null;
      if (ws) ws.close();
      this.readable = this.writable = null;
    }

    unplug() {
      this.spec.plugged = false;
      if (this.controller) this.controller.error(lost());
      this.controller = null;
      this.readable = null;
      if (this.ws) this.ws.close();
      this.ws = null;
      this.dispatchEvent(new Event("disconnect", { bubbles: true }));
      serial.dispatchEvent(new Event("disconnect"));
    }

    plug() {
      this.spec.plugged = true;
      serial.dispatchEvent(new Event("connect"));
    }
  }

  if (config.storage === "off") {
    const refuse = () => { throw new DOMException("The operation is insecure.", "SecurityError"); };
    for (const name of ["localStorage", "indexedDB"]) Object.defineProperty(window, name, { configurable: true, get: refuse });
  }
  const full = () => new DOMException("The quota has been exceeded.", "QuotaExceededError");
  const add = IDBObjectStore.prototype.add;
  IDBObjectStore.prototype.add = function (...args) {
    if (config.storage === "full") throw full();
    return add.apply(this, args);
  };
  const setItem = Storage.prototype.setItem;
  Storage.prototype.setItem = function (...args) {
    if (config.storage === "full") throw full();
    return setItem.apply(this, args);
  };

  // The page's handlers hear of the opened store only once released.
  let releaseStore = () => {};
  if (config.holdStore) {
    const held = new Promise((resolve) => { releaseStore = resolve; });
    const open = IDBFactory.prototype.open;
    IDBFactory.prototype.open = function (...args) {
      const request = open.apply(this, args);
      request.addEventListener("success", (e) => {
        if (!e.isTrusted) return;
        e.stopImmediatePropagation();
        held.then(() => request.dispatchEvent(new Event("success")));
      });
      return request;
    };
  }

  const roundTrips = { count: 0, ms: 0 };
  const ports = config.ports.map((spec) => new SerialPort(spec));
  const serial = new EventTarget();
  const requests = [];
  serial.getPorts = async () => {
    const listed = ports.filter((p) => p.spec.granted && p.spec.plugged);
    if (config.listingMs) await new Promise((r) => setTimeout(r, config.listingMs));
    return listed;
  };
  serial.requestPort = async (options = {}) => {
    requests.push(JSON.parse(JSON.stringify(options)));
    const port = ports.find((p) => p.spec.id === config.chooser && p.spec.plugged && p.offered(options.filters));
    if (!port) throw new DOMException("No port selected by the user.", "NotFoundError");
    port.spec.granted = true;
    return port;
  };
  Object.defineProperty(Navigator.prototype, "serial", { configurable: true, get: () => serial });
  window.serialStandIn = {
    ports,
    requests,
    port: (id) => ports.find((p) => p.spec.id === id),
    choose: (id) => { config.chooser = id; },
    roundTrips,
    slowListing: (ms) => { config.listingMs = ms; },
    fillStorage: () => { config.storage = "full"; },
    releaseStore: () => releaseStore(),
  };
}

// A browser without Web Serial, as Firefox and Safari are.
function removeSerial() {
  delete Navigator.prototype.serial;
}

module.exports = { installSerialStandIn, removeSerial };
