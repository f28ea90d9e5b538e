// The tests' stand-in for navigator.serial: the Web Serial interface in the page, its bytes carried over a
// WebSocket to the harness and from there to the simulated unit on a pty. Test code only: installed by
// page.evaluateOnNewDocument before the page's own scripts.
"use strict";

// Runs in the page; everything it needs comes in config:
//   bridge    the harness's WebSocket address
//   ports     [{ id, usbVendorId, usbProductId, granted, plugged, busy, lateFirstMs, latencyMs, parityErrorAt }]
//             busy: open() rejected; lateFirstMs: the first chunk comes that late; latencyMs: what
//             came is handed over at that pace, in one chunk (an FTDI's latency timer is 16 ms);
//             parityErrorAt: that chunk (1, 2, ...) is lost to a parity error, as Chrome reports one
//   chooser   the id of the port the user picks in requestPort's chooser, or null (the chooser closed)
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
    }

    get connected() { return this.spec.plugged; }

    getInfo() {
      return this.spec.usbVendorId === undefined ? {}
        : { usbVendorId: this.spec.usbVendorId, usbProductId: this.spec.usbProductId };
    }

    async open(options) {
      if (this.readable) throw new DOMException("The port is already open.", "InvalidStateError");
      this.opens.push(options);
      // What Chrome says when the system will not open the port: another program holds it, or it is gone.
      if (this.spec.busy || !this.spec.plugged) throw new DOMException("Failed to open serial port.", "NetworkError");
      const ws = new WebSocket(config.bridge + "/" + encodeURIComponent(this.spec.id));
      ws.binaryType = "arraybuffer";
      await new Promise((resolve, reject) => {
        ws.onopen = resolve;
        ws.onerror = () => reject(new DOMException("Failed to open serial port.", "NetworkError"));
      });
      this.ws = ws;
      let late = this.spec.lateFirstMs || 0;
      let chunks = 0;
      let held = [];
      this.newReadable();
      const deliver = (bytes) => {
        if (!this.controller) return;
        if (++chunks === this.spec.parityErrorAt) {
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
      this.writable = new WritableStream({
        write: (chunk) => {
          if (!this.spec.plugged) throw lost();
          ws.send(chunk);
        },
      });
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

  const ports = config.ports.map((spec) => new SerialPort(spec));
  const serial = new EventTarget();
  const requests = [];
  serial.getPorts = async () => ports.filter((p) => p.spec.granted && p.spec.plugged);
  serial.requestPort = async (options) => {
    requests.push(JSON.parse(JSON.stringify(options || {})));
    const port = ports.find((p) => p.spec.id === config.chooser && p.spec.plugged);
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
  };
}

// A browser without Web Serial, as Firefox and Safari are.
function removeSerial() {
  delete Navigator.prototype.serial;
}

module.exports = { installSerialStandIn, removeSerial };
