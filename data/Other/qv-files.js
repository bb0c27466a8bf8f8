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

  // A drop: folders are walked through the entry interface; plain files are taken as they are.
  async function fromDrop(dataTransfer) {
    const out = [];
    const items = Array.from(dataTransfer.items || []);
    const entries = items.map((i) => (i.webkitGetAsEntry ? i.webkitGetAsEntry() : null)).filter(Boolean);
    if (entries.length) {
      for (const e of entries) await walk(e, '', out);
    } else {
      for (const file of Array.from(dataTransfer.files || [])) out.push({ path: file.name, file });
    }
    return out;
  }

  QV.define('files', { fromInput, fromDrop });
})();
