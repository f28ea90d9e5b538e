// The readings: in IndexedDB, and all of them in memory too, oldest first, for the table, the search
// and the exports. Where the browser keeps nothing, in memory only.
export const historyStore = {
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

  // "fixture\nport" of the record that read that serial number last, or null.
  whereSeen(serial) {
    return this.seen.get(serial) ?? null;
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
