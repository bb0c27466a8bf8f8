// The viewer's one global: every file adds its part to QV. Plain scripts, not modules, since a
// page opened from a medium (file://) may not load modules; node's tests require the same files.
(function (root) {
  'use strict';
  root.QV = root.QV || {};
  // Adds a part; the files that node's tests require also export it there.
  root.QV.define = function (name, part) {
    root.QV[name] = part;
    return part;
  };
})(typeof window !== 'undefined' ? window : globalThis);
