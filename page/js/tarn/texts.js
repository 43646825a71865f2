// The texts the page and the command line show: labels, progress and failure texts,
// one copy for both.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).texts = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  return {
    'OK': 'OK',
    'Cancel': 'Cancel',
    'Scanning...': 'Scanning...',
    'Importing...': 'Importing...',
    'Exporting...': 'Exporting...',
    'Loading...': 'Loading...',
    'Memory': 'Memory',
    'Track': 'Track',
    'Track Sets': 'Track Sets',
    'Reload': 'Reload',
    'Unsupported format.': 'Unsupported format.',
    'Data is too short.': 'Data is too short.',
    'Data is too long.': 'Data is too long.',
    'Import failed.': 'Import failed.',
    'Export failed.': 'Export failed.',
    'Download failed.': 'Download failed.',
    'Unable to load settings.': 'Unable to load settings.',
    'Downloaded file is broken.': 'Downloaded file is broken.',
    'connectionError': 'The track catalogue could not be reached. Check the connection and try again.',
    'noCatalogue': 'No track catalogue is set up, and the built-in one could not be reached. Choose a catalogue on a web server, a file share or this computer in Settings.',
    'An error occurred.': 'An error occurred.',
    'Downloading...': 'Downloading...',
    'Processing...': 'Processing...',
    'connectDevice': 'Connect your looper to download tracks into it.',
    'noDevice': 'No looper connected',
    'Disconnect?': 'Disconnect?',
    'Connect?': 'Connect?',
    'Looper in edit mode': 'Looper in edit mode',
    'Take over': 'Take over',
    'Cancelling...': 'Cancelling...',
    'takeOverQuestion': 'is already in edit mode, left so by an earlier session that did not end properly. ' +
      'Take it over? Tarn switches edit mode off and on again.',
    'inEditMode': 'is in edit mode from an earlier session',
    'releaseFailed': 'The looper left edit mode, but its volume could not be released. ' +
      'Eject it from the file manager before unplugging it.',
    'noLooper': 'No looper connected.',
    'Delete': 'Delete',
    'Undo': 'Undo',
    'Close': 'Close',
    'Put back': 'Put back',
    'Recently deleted': 'Recently deleted',
    'deleteTitleOne': 'Delete this track?',
    'deleteTitleMany': 'Delete these tracks?',
    'deleteOne': 'This track will be deleted from the looper:',
    'deleteMany': 'These %d tracks will be deleted from the looper:',
    'deleteKept': 'A copy is kept on this computer for 30 days: Undo, or Recently deleted, puts it back.',
    'deletedOne': 'Deleted %s.',
    'deletedMany': 'Deleted %d tracks.',
    'putBackOne': 'Put %s back.',
    'putBackMany': 'Put %d tracks back.',
    'noCopyTitle': 'No copy could be kept',
    'noCopy': 'Tarn could not keep a copy of %s on this computer, so it could not be put back later. Delete it for good?',
    'deleteForGood': 'Delete for good',
    'deletedKeep': 'Deleted tracks are kept for 30 days (2 GiB in all; the oldest go first).',
    'noneDeleted': 'No tracks of this looper were deleted lately.',
    'Play': 'Play',
    'Stop': 'Stop',
    'previewPosition': 'Position in the track',
    'noSoundOutput': 'Nothing can be played: no sound output is available. Check that the sound server ' +
      '(PipeWire or PulseAudio) is running and an output device is connected.',
    'noWaveform': 'The waveform cannot be shown.',
    'howToConnect': 'Plug your looper into this computer with its USB cable and switch it on. ' +
      'Tarn finds it by itself and shows its tracks here.',
    'gettingReady': 'found: getting it ready…',
    'readingTracks': 'Reading the looper\'s tracks…',
    'waitingStorage': 'waiting for its storage…',
    'storageHint': 'The looper answers over MIDI, but its storage has not appeared on this computer. ' +
      'If it does not appear in a few seconds, unplug the looper and plug it in again.',
    'noEmptyTrack': 'There is no empty track at or after the selected one.',
    'exportWouldOverwrite': 'The folder already holds files of these names:',
    'notAudio': 'These are not audio files the looper can take:',
    'receiving': 'Receiving the dropped files...',
    'severalOntoUsed': 'Several files go onto an empty track (they fill it and the empty tracks after it); ' +
      'a track that holds a file can be replaced by one file only.',
    'dropDoesNotFit': 'The {n} files do not fit into the empty tracks from {cell} on. Nothing was imported.',
    'moveFailed': 'The track could not be moved.'
  };
});
