// The files of a picked or dropped folder as { path, file }, paths "/"-separated and starting
// with the folder's own name, so that both ways give the same image.
(function () {
  'use strict';

  // <input type="file" webkitdirectory>: every file carries its path below the picked folder.
  function fromInput(fileList) {
    return Array.from(fileList, (file) => ({ path: file.webkitRelativePath || file.name, file }));
  }

  function readAllEntries(reader) {
    // A directory reader hands its entries out in batches until one comes back empty.
    return new Promise((resolve, reject) => {
      const all = [];
      const next = () => reader.readEntries((batch) => {
        if (!batch.length) return resolve(all);
        all.push(...batch);
        next();
      }, reject);
      next();
    });
  }

  async function walk(entry, prefix, out) {
    const path = prefix ? prefix + '/' + entry.name : entry.name;
    if (entry.isFile) {
      const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
      out.push({ path, file });
    } else if (entry.isDirectory) {
      for (const child of await readAllEntries(entry.createReader())) await walk(child, path, out);
    }
  }

  async function walkHandle(handle, prefix, out) {
    const path = prefix ? prefix + '/' + handle.name : handle.name;
    if (handle.kind === 'file') {
      out.push({ path, file: await handle.getFile() });
    } else {
      for await (const child of handle.values()) await walkHandle(child, path, out);
    }
  }

  // A drop. A page opened from file:// may not read a dropped folder through the older entry
  // interface (Chromium refuses it), so the file system handle comes first where the browser
  // has one. Both must be asked for before the drop event returns, hence before any await.
  async function fromDrop(dataTransfer) {
    const items = Array.from(dataTransfer.items || []).filter((i) => i.kind === 'file');
    const handles = items.map((i) => (i.getAsFileSystemHandle ? i.getAsFileSystemHandle() : null));
    const entries = items.map((i) => (i.webkitGetAsEntry ? i.webkitGetAsEntry() : null));
    const files = Array.from(dataTransfer.files || []);
    const out = [];
    for (let k = 0; k < items.length; k++) {
      const found = [];
      try {
        const handle = handles[k] && (await handles[k]);
        if (handle) await walkHandle(handle, '', found);
        else if (entries[k]) await walk(entries[k], '', found);
        else if (files[k]) found.push({ path: files[k].name, file: files[k] });
      } catch (e) {
        found.length = 0;
        if (entries[k] && handles[k]) {
          try { await walk(entries[k], '', found); } catch (e2) { found.length = 0; }
        }
      }
      out.push(...found);
    }
    return out;
  }

  QV.define('files', { fromInput, fromDrop });
})();
