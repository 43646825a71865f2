// The looper's track layout: CORVANE/WAVE/MMM_T folders (memory from 001, track from 1),
// at most one WAV file each; the track table read from a volume, list labels, import
// names and the length rule.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).tracks = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  var FOLDER = /^0[0-9][0-9]_[1-9]$/;
  var SAMPLE_RATE = 44100;
  var MAX_SAMPLES = 268435456;

  function memoryCount(row) { return row.numofMemParBank * row.numofBank; }

  // "012_3" -> {memory: 11, track: 2} (0-based) when inside the model's layout, else null.
  function parseFolder(name, memories, tracks) {
    if (typeof name !== 'string' || name.length !== 5 || !FOLDER.test(name)) return null;
    var memory = parseInt(name.substring(0, 3), 10) - 1;
    var track = parseInt(name.charAt(4), 10) - 1;
    if (memory < 0 || memory >= memories || track < 0 || track >= tracks) return null;
    return { memory: memory, track: track };
  }

  function folderName(memory, track) {
    var m = String(memory + 1);
    while (m.length < 3) m = '0' + m;
    return m + '_' + (track + 1);
  }

  function waveFolder(volume) {
    return String(volume).replace(/\/+$/, '') + '/CORVANE/WAVE/';
  }

  function emptyTable(memories, tracks) {
    var table = [];
    for (var m = 0; m < memories; m++) {
      var row = [];
      for (var t = 0; t < tracks; t++) row.push({ dirName: '', fileName: '' });
      table.push(row);
    }
    return table;
  }

  function isWav(entry) {
    if (!entry || entry.directory) return false;
    var dot = entry.name.lastIndexOf('.');
    return dot >= 0 && entry.name.substring(dot + 1).toLowerCase() === 'wav';
  }

  // Reads the track table through the page's file layer (contents(path) gives
  // {success, data: [entries]}). onScan(true/false) brackets the scan for a progress view.
  function readTable(files, volume, row, onScan) {
    var wave = waveFolder(volume);
    var memories = memoryCount(row);
    var table = emptyTable(memories, row.numofTrackParMem);
    if (onScan) onScan(true);
    var listed;
    try {
      listed = files.subcontents(wave);
    } finally {
      if (onScan) onScan(false);
    }
    if (!listed.success) return { success: false, reason: listed.reason };
    fillTable(table, wave, listed.data, row);
    return { success: true, data: table };
  }

  // Fills the table's cells from a wave folder's sub-folders ({name: {success, data}}):
  // a folder that could not be read stays an absent cell.
  function fillTable(table, wave, folders, row) {
    var memories = memoryCount(row);
    Object.keys(folders).forEach(function (name) {
      var at = parseFolder(name, memories, row.numofTrackParMem);
      if (!at) return;
      fillCell(table[at.memory][at.track], wave + name + '/', folders[name]);
    });
  }

  function fillCell(cell, folder, inside) {
    cell.dirName = inside.success ? folder : '';
    cell.fileName = '';
    if (!inside.success) return;
    for (var i = 0; i < inside.data.length; i++) {
      if (isWav(inside.data[i])) { cell.fileName = inside.data[i].name; break; }
    }
  }

  // Every memory/track folder of the model must exist.
  function storageCheck(files, volume, row) {
    if (!volume || !row) return false;
    var listed = files.contents(waveFolder(volume));
    if (!listed.success) return false;
    var memories = memoryCount(row);
    var tracks = row.numofTrackParMem;
    var seen = {};
    listed.data.forEach(function (entry) {
      if (!entry.directory) return;
      var at = parseFolder(entry.name, memories, tracks);
      if (at) seen[at.memory * tracks + at.track] = true;
    });
    return Object.keys(seen).length === memories * tracks;
  }

  // "Memory N" with one bank; "Memory B-M" with several.
  function memoryNumber(index, row) {
    if (row.numofBank <= 1) return String(index + 1);
    var perBank = row.numofMemParBank;
    return (Math.floor(index / perBank) + 1) + '-' + (index % perBank + 1);
  }

  function memoryLabel(index, row, texts) { return texts.Memory + ' ' + memoryNumber(index, row); }
  function trackLabel(index, texts) { return texts.Track + ' ' + (index + 1); }

  function deleteQuestion(memory, track, row, texts) {
    return 'Delete ' + texts.Memory + ' ' + memoryNumber(memory, row) + ', ' + texts.Track + ' ' + (track + 1) + '.';
  }

  function lastSegment(path) {
    var text = String(path);
    var cut = Math.max(text.lastIndexOf('/'), text.lastIndexOf('\\'));
    return text.substring(cut + 1);
  }

  function splitName(fileName) {
    var dot = fileName.lastIndexOf('.');
    if (dot <= 0) return { base: fileName, ext: '' };
    return { base: fileName.substring(0, dot), ext: fileName.substring(dot + 1) };
  }

  // A name the looper's FAT volume takes: its forbidden characters (control characters
  // and \ / : * ? " < > |) become "_", and trailing dots and spaces (which FAT drops)
  // go; the rest of the name stays as it was.
  function fatSafeBase(base) {
    var safe = String(base).replace(/[\u0000-\u001f\\/:*?"<>|]/g, '_').replace(/[. ]+$/, '');
    return safe.length ? safe : '_';
  }

  // Song.Final.mp3 -> Song.Final.wav; What? Live.mp3 -> What_ Live.wav
  function importName(sourcePath) {
    return fatSafeBase(splitName(lastSegment(sourcePath)).base) + '.wav';
  }

  function importDestination(dirName, sourcePath) { return dirName + importName(sourcePath); }

  // Proposed name and extension for the save dialog of an export: the track's whole
  // name, so that a name with dots in it (Song.Final.wav) keeps its extension.
  function exportProposal(fileName) {
    var parts = splitName(fileName);
    var ext = parts.ext || 'wav';
    return { name: parts.ext ? fileName : fileName + '.' + ext, ext: ext };
  }

  // null when the length fits the model, else the text to show.
  function lengthProblem(duration, wave, texts) {
    var samples = Number(duration) * SAMPLE_RATE;
    if (wave.minSamples !== undefined && samples < wave.minSamples) return texts['Data is too short.'];
    var max = wave.maxSamples !== undefined ? wave.maxSamples : MAX_SAMPLES;
    if (samples > max) return texts['Data is too long.'];
    return null;
  }

  return {
    parseFolder: parseFolder,
    folderName: folderName,
    waveFolder: waveFolder,
    emptyTable: emptyTable,
    isWav: isWav,
    readTable: readTable,
    fillTable: fillTable,
    fillCell: fillCell,
    storageCheck: storageCheck,
    memoryNumber: memoryNumber,
    memoryLabel: memoryLabel,
    trackLabel: trackLabel,
    deleteQuestion: deleteQuestion,
    lastSegment: lastSegment,
    importName: importName,
    fatSafeBase: fatSafeBase,
    importDestination: importDestination,
    exportProposal: exportProposal,
    lengthProblem: lengthProblem
  };
});
