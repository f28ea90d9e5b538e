// The page's serial line: one Web Serial port at a time, opened, read, written and closed as the link asks.

// Linux's errno values, as bravelle-cli's records carry them (web/WebSerialDevice.h names them too).
const SERIAL_BUSY = 16;   // EBUSY: open() rejected, another program holds the port
const SERIAL_GONE = 19;   // ENODEV: unplugged, or no longer granted
const SERIAL_FAILED = 5;  // EIO
const SERIAL_DENIED = 13;         // EACCES: the browser refuses the port (permission, policy)
const SERIAL_ALREADY_OPEN = 114;  // EALREADY: open already, in this browser
const SERIAL_GARBLED = 84;        // EILSEQ: a parity, framing, break or overrun error
const SERIAL_WRITE_STUCK = 62;    // ETIME: a write was given up at its timeout, the line ended

// What open() rejects with, as Chrome names it: the system refused (another program holds it), the
// page holds it open already, or the browser denies the port.
const OPEN_REFUSALS = { NetworkError: SERIAL_BUSY, InvalidStateError: SERIAL_ALREADY_OPEN,
                        SecurityError: SERIAL_DENIED, NotAllowedError: SERIAL_DENIED, NotFoundError: SERIAL_GONE };

// A byte or a count; a timeout; a failure whose code is in lastError.
const SERIAL_TIMEOUT = -1;
const SERIAL_FAILURE = -2;

export class SerialLine {
  constructor() {
    this.ports = new Map();  // label -> SerialPort, the granted ports as the page names them
    this.lastError = 0;
    this.lastErrorText = "";
    this.open_ = null;
  }

  // What the core calls. A promise that never settled would leave the reading
  // suspended for good, so whatever goes wrong comes back as a failure.
  async call(name, ...args) {
    try {
      return await this[name](...args);
    } catch (e) {
      console.error("serial " + name + ":", e);
      return this.fail(SERIAL_FAILED, e);
    }
  }

  fail(code, error) {
    this.lastError = code;
    this.lastErrorText = error ? String(error.message || error) : "";
    return SERIAL_FAILURE;
  }

  // The line as the core gives it: { baudRate, dataBits, parity, stopBits, dtr, rts }.
  // The system raises DTR and RTS when it opens a port; close puts them back so.
  async open(label, line) {
    const port = this.ports.get(label);
    if (!port || port.connected === false) return this.fail(SERIAL_GONE, "not connected");
    const options = SerialLine.options_(line);
    if (!options) return this.fail(SERIAL_FAILED, "Web Serial cannot open this line");
    try {
      await port.open(options);
    } catch (e) {
      return this.fail(OPEN_REFUSALS[e.name] || SERIAL_FAILED, e);
    }
    this.start_(port, options);
    const set = await this.signals_(line);
    if (set < 0) await this.close();
    return set < 0 ? set : 1;
  }

  // Web Serial's open() options for a line, or null for one it cannot frame.
  static options_(line) {
    if (![1, 2].includes(line.stopBits) || !["none", "even", "odd"].includes(line.parity)) return null;
    return { baudRate: line.baudRate, dataBits: line.dataBits, parity: line.parity, stopBits: line.stopBits,
             flowControl: "none" };
  }

  // One reader for the port's life: a read the link gave up on at its timeout
  // stays pending, and the bytes it brings later wait in the buffer for the next
  // read (or for a purge), instead of being lost with a cancelled reader.
  start_(port, options) {
    const o = { port, options, signalsSet: false, buffer: [], head: 0, wake: null, lost: null, garbled: null, closing: false,
                writer: port.writable.getWriter(), reader: port.readable.getReader() };
    this.open_ = o;
    o.pump = (async () => {
      for (;;) {
        let chunk;
        try {
          chunk = await o.reader.read();
        } catch (e) {
          if (o.closing) return;
          // A parity, framing, break or overrun error ends that stream only: the line goes on, but
          // what it carries is spoilt, and the reading is told so once the bytes before it are read.
          if (port.readable && e.name !== "NetworkError") {
            o.garbled = o.garbled || e;
            o.reader.releaseLock();
            o.reader = port.readable.getReader();
            this.wake_(o);
            continue;
          }
          o.lost = e;
          this.wake_(o);
          return;
        }
        if (chunk.done) {
          if (!o.closing) o.lost = new Error("the port's stream ended");
          this.wake_(o);
          return;
        }
        for (const b of chunk.value) o.buffer.push(b);
        this.wake_(o);
      }
    })();
  }

  wake_(o) {
    if (o.wake) o.wake();
  }

  // Web Serial fixes the rate and framing when it opens a port; the link only ever
  // asks for the line it opened with.
  async configure(line) {
    const o = this.open_;
    if (!o) return this.fail(SERIAL_FAILED, "not open");
    const options = SerialLine.options_(line);
    if (!options || Object.keys(options).some((k) => options[k] !== o.options[k])) {
      return this.fail(SERIAL_FAILED, "the line is set when the port opens: " + JSON.stringify(o.options));
    }
    return this.signals_(line);
  }

  // DTR and RTS go out together: some drivers pass an RTS change on to the
  // adapter only with a DTR setting beside it.
  async signals_(line) {
    const o = this.open_;
    try {
      await o.port.setSignals({ dataTerminalReady: line.dtr, requestToSend: line.rts });
    } catch (e) {
      return this.fail(SERIAL_GONE, e);
    }
    o.signalsSet = true;
    return 0;
  }

  async write(byte, timeoutMs) {
    const o = this.open_;
    if (!o) return this.fail(SERIAL_FAILED, "not open");
    if (o.lost) return this.fail(SERIAL_GONE, o.lost);
    let timer;
    const timedOut = new Promise((resolve) => { timer = setTimeout(() => resolve(false), timeoutMs); });
    try {
      const sent = o.writer.write(Uint8Array.of(byte)).then(() => true);
      sent.catch(() => {});  // one given up at its timeout may still fail later
      const written = await Promise.race([sent, timedOut]);
      if (written) return 1;
      // A byte given up on would still go out once the port takes it, in the middle of whatever the
      // link sends next: the line ends here, and its queued bytes with it.
      o.lost = new Error("a write was given up at its timeout");
      o.writer.abort(o.lost).catch(() => {});
      return this.fail(SERIAL_WRITE_STUCK, o.lost);
    } catch (e) {
      o.lost = o.lost || e;
      return this.fail(SERIAL_GONE, e);
    } finally {
      clearTimeout(timer);
    }
  }

  async read(timeoutMs) {
    const o = this.open_;
    if (!o) return this.fail(SERIAL_FAILED, "not open");
    if (o.head === o.buffer.length && !o.lost && !o.garbled) {
      let timer;
      await new Promise((resolve) => {
        o.wake = resolve;
        timer = setTimeout(resolve, timeoutMs);
      });
      clearTimeout(timer);
      o.wake = null;
    }
    if (o.head < o.buffer.length) {
      const b = o.buffer[o.head++];
      if (o.head === o.buffer.length) o.buffer.length = o.head = 0;
      return b;
    }
    if (o.garbled) return this.fail(SERIAL_GARBLED, o.garbled);
    return o.lost ? this.fail(SERIAL_GONE, o.lost) : SERIAL_TIMEOUT;
  }

  // Drops what has come and not been read; a byte still on its way is kept.
  purge() {
    const o = this.open_;
    if (o) o.buffer.length = o.head = 0;
  }

  // Ends the read under way as a timeout: Cancel's stop is then seen at once.
  interrupt() {
    if (this.open_) this.wake_(this.open_);
  }

  // The page is going away mid-reading and nothing asynchronous will finish: the unit is sent the
  // link's end command and the port is closed, as far as the browser gets before it drops the page.
  abandon(endCommand) {
    const o = this.open_;
    if (!o || o.lost) return;
    o.writer.write(Uint8Array.of(endCommand)).catch(() => {});
    this.close().catch(() => {});
  }

  // The reader's lock and the writer's are given back before the port can close.
  async close() {
    const o = this.open_;
    if (!o) return 0;
    // The first failure is the one reported; the port is closed whatever it was.
    let status = 0;
    if (o.signalsSet && !o.lost) {
      try {
        await o.port.setSignals({ dataTerminalReady: true, requestToSend: true });
      } catch (e) {
        status = this.fail(SERIAL_GONE, e);
      }
    }
    this.open_ = null;
    o.closing = true;
    try {
      await o.reader.cancel();
    } catch (e) { /* a lost port's stream is already over */ }
    await o.pump;
    o.reader.releaseLock();
    o.writer.releaseLock();
    try {
      await o.port.close();
    } catch (e) {
      if (!o.lost && status === 0) return this.fail(SERIAL_FAILED, e);
    }
    return status;
  }
}
