// The readings. IndexedDB holds them for every tab of the page: it is the truth. Each tab keeps them all in
// memory too, oldest first, for the table, the search and the repeat flag, and brings that copy level with
// the store whenever another tab says it changed it, and before a reading's repeat flag or an export rests
// on it. Where the browser keeps nothing, in memory only, each reading and Clear told to the other tabs.
const CHANNEL = "bravelle-readings";
const BATCH = 5000;  // read from the store at a time, so that the page answers between two batches
const NEWEST = 50;   // read first, for the table's first page while the rest loads

function request(r) {
  return new Promise((resolve, reject) => {
    r.onsuccess = () => resolve(r.result);
    r.onerror = () => reject(r.error);
  });
}

function parsed(entry) {
  return { ...entry, record: JSON.parse(entry.json) };
}

export const historyStore = {
  db: null,
  loaded: false,    // the whole store is in memory (at once where the browser keeps nothing)
  newest: [],       // until then, the store's newest readings, oldest first
  all: [],          // { json, csv, csvSemicolon, record, key }: key is the store's, none for a reading it refused
  stored: 0,        // how many of all the store holds: those with a key
  firstKey: 0,      // the oldest of them: only a Clear takes readings out, all of them, and this one with them
  lastKey: 0,       // the newest of them: the store's key generator only goes up, Clear or not
  last: new Map(),  // fixture, or port for a record without one -> the serial number read last there
  seen: new Map(),  // serial number -> "fixture\nport" of the record that read it last
  turn: Promise.resolve(),
  channel: null,
  onChange: () => {},  // the copy changed other than by this tab's own reading or Clear

  // Whether the browser keeps the readings. onNewest is called once the newest are in, before the rest.
  // The first turn: a reading's repeat flag or an export asked for meanwhile waits for the store's readings.
  open(onNewest) {
    return this.inTurn(async () => {
      try {
        this.db = await new Promise((resolve, reject) => {
          const r = indexedDB.open("bravelle", 1);
          r.onupgradeneeded = () => r.result.createObjectStore("readings", { autoIncrement: true });
          r.onsuccess = () => resolve(r.result);
          r.onerror = () => reject(r.error);
          r.onblocked = () => reject(new Error("blocked"));
        });
        await this.migrate();
      } catch (e) {
        this.db = null;
      }
      // From here on every change another tab makes is heard: the load below reads what came before.
      this.listen();
      try {
        if (this.db) {
          const store = this.db.transaction("readings").objectStore("readings");
          this.newest = (await this.peek(store.openCursor(null, "prev"))).reverse();
          onNewest();
          await this.sync();
        }
      } catch (e) {
        // A store that fails while it is read: the readings read so far stay, and what comes is kept in memory.
        this.db = null;
      }
      this.loaded = true;
      return this.db !== null;
    });
  },

  peek(cursorRequest) {
    const entries = [];
    return new Promise((resolve, reject) => {
      cursorRequest.onsuccess = () => {
        const cursor = cursorRequest.result;
        if (cursor) entries.push(parsed(cursor.value));
        if (!cursor || entries.length === NEWEST) resolve(entries);
        else cursor.continue();
      };
      cursorRequest.onerror = () => reject(cursorRequest.error);
    });
  },

  // One change to the copy at a time, in the order they were asked for.
  inTurn(work) {
    const turn = this.turn.then(work);
    this.turn = turn.catch(() => {});
    return turn;
  },

  // The copy made level with the store: what came since the newest it holds; everything again when the
  // oldest it holds is gone, the store having been cleared meanwhile.
  async sync() {
    for (;;) {
      const store = this.db.transaction("readings").objectStore("readings");
      const after = IDBKeyRange.lowerBound(this.lastKey, true);
      const [first, keys, entries] = await Promise.all(
          [store.getKey(IDBKeyRange.lowerBound(0)), store.getAllKeys(after, BATCH), store.getAll(after, BATCH)].map(request));
      if (this.stored > 0 && first !== this.firstKey) {
        this.forget();
        continue;
      }
      keys.forEach((key, i) => this.remember({ ...entries[i], key }));
      if (keys.length < BATCH) break;
    }
    this.loaded = true;
    this.newest = [];
  },

  // Resolves once the copy holds what the store holds now (and what it refused of this tab's readings).
  levelled() {
    return this.inTurn(() => (this.db ? this.sync() : null));
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
    await this.write((store) => { for (const r of old) store.add({ json: r.json, csv: r.csv }); });
    localStorage.removeItem("bravelle.readings");
  },

  listen() {
    if (!("BroadcastChannel" in self)) return;
    this.channel = new BroadcastChannel(CHANNEL);
    this.channel.onmessage = ({ data }) => {
      this.inTurn(async () => {
        if (this.db) await this.sync();
        else if (data.cleared) this.forget();
        else this.remember(data.added);
        this.onChange();
      }).catch(() => {});
    };
  },

  remember(entry) {
    const kept = parsed(entry);
    this.all.push(kept);
    if (entry.key !== undefined) {
      if (this.stored++ === 0) this.firstKey = entry.key;
      this.lastKey = entry.key;
    }
    const record = kept.record;
    if (record.serial === undefined) return;
    this.last.set(this.placeOf(record), record.serial);
    this.seen.set(record.serial, `${record.fixture || ""}\n${record.port || ""}`);
  },

  forget() {
    this.all = [];
    this.stored = this.firstKey = this.lastKey = 0;
    this.last.clear();
    this.seen.clear();
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
  add(entry) {
    return this.inTurn(async () => {
      if (this.db) {
        try {
          await this.write((store) => store.add(entry));
        } catch (e) {
          this.remember(entry);
          throw e;
        }
        // Ours with its key, and whatever another tab kept before it.
        await this.sync();
      } else {
        this.remember(entry);
      }
      this.tell({ added: entry });
    });
  },

  clear() {
    return this.inTurn(async () => {
      if (this.db) await this.write((store) => store.clear());
      this.forget();
      this.tell({ cleared: true });
    });
  },

  tell(message) {
    if (this.channel) this.channel.postMessage(message);
  },
};
