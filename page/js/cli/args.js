// The command line's words: each subcommand's options and usage, the parsing of the
// arguments and of track addresses ("3/2" is memory 3, track 2, folder 003_2).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).cliArgs = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  var DEVICE = ['--device N', "the looper to use, by its number in 'tarn devices' (default 1)"];
  var TAKE_OVER = ['--take-over', 'take over a looper left in edit mode by an earlier session'];
  var HELP = ['--help', 'show this help and exit'];

  // Per subcommand: its usage lines, what it does, its options (flags: true when the
  // option takes no value) and how many plain arguments it takes.
  var COMMANDS = {
    devices: {
      usage: ['tarn devices [--json]'],
      about: 'Lists the connected loopers: model, volume, MIDI ports and edit mode. Edit mode is read, not changed.',
      options: { json: true },
      help: [['--json', 'print the list as JSON on stdout'], HELP],
      min: 0, max: 0
    },
    ls: {
      usage: ['tarn ls [--device N] [--json]'],
      about: "Lists the looper's tracks: memory/track, length, format and file name.",
      options: { device: false, json: true, 'take-over': true },
      help: [DEVICE, ['--json', 'print every track cell as JSON on stdout'], TAKE_OVER, HELP],
      min: 0, max: 0
    },
    import: {
      usage: ['tarn import FILE MEMORY/TRACK [options]', 'tarn import FILE --next-empty [options]',
        'tarn import --from-folder DIR [options]'],
      about: 'Imports audio files (WAV, MP3, M4A) into empty tracks, converted to the looper\'s format. ' +
        'With --from-folder, the audio files directly in DIR, sorted by name, go into the empty tracks ' +
        'in order; nothing is imported when there are fewer empty tracks than files.',
      options: { device: false, json: true, 'take-over': true, 'next-empty': true, 'from-folder': false },
      help: [['--next-empty', 'import into the first empty track'],
        ['--from-folder DIR', 'import every audio file in DIR into the empty tracks'],
        DEVICE, ['--json', 'print what was imported as JSON on stdout'], TAKE_OVER, HELP],
      min: 0, max: 2
    },
    export: {
      usage: ['tarn export MEMORY/TRACK FILE [--format 16|24|float] [options]'],
      about: 'Exports a track into a WAV file (by default in the track\'s own format).',
      options: { device: false, json: true, 'take-over': true, format: false, force: true },
      help: [['--format F', '16, 24 (bit integer) or float (32-bit)'], ['--force', 'replace FILE when it is there'],
        DEVICE, ['--json', 'print what was exported as JSON on stdout'], TAKE_OVER, HELP],
      min: 2, max: 2
    },
    rm: {
      usage: ['tarn rm MEMORY/TRACK [--yes] [--permanently] [options]'],
      about: 'Deletes a track\'s file from the looper, after asking (on a terminal) unless --yes is given. ' +
        'A copy is kept first, which \'tarn undelete\' puts back for 30 days; when no copy can be kept ' +
        '(the computer\'s disk is full, say), nothing is deleted unless --permanently is given.',
      options: { device: false, json: true, 'take-over': true, yes: true, permanently: true },
      help: [['--yes', 'delete without asking (needed without a terminal)'],
        ['--permanently', 'delete for good, without keeping a copy'], DEVICE,
        ['--json', 'print what was deleted as JSON on stdout'], TAKE_OVER, HELP],
      min: 1, max: 1
    },
    deleted: {
      usage: ['tarn deleted [--json]'],
      about: 'Lists the recently deleted tracks, newest first, of every model. They are kept for 30 days ' +
        'and up to 2 GiB in all (the oldest go first). No looper is needed.',
      options: { json: true },
      help: [['--json', 'print the list as JSON on stdout'], HELP],
      min: 0, max: 0
    },
    undelete: {
      usage: ['tarn undelete ID [MEMORY/TRACK] [options]'],
      about: 'Puts a recently deleted track (ID as \'tarn deleted\' lists it) back into the track it came from, ' +
        'or into the empty track MEMORY/TRACK, after checking its checksum. A track that holds a file is never replaced.',
      options: { device: false, json: true, 'take-over': true },
      help: [DEVICE, ['--json', 'print what was put back as JSON on stdout'], TAKE_OVER, HELP],
      min: 1, max: 2
    },
    backup: {
      usage: ['tarn backup DIR [--device N]'],
      about: 'Copies every track of the looper, with a manifest (model, layout, checksums, date), into DIR, ' +
        'which must be empty or not exist.',
      options: { device: false, json: true, 'take-over': true },
      help: [DEVICE, ['--json', 'print what was backed up as JSON on stdout'], TAKE_OVER, HELP],
      min: 1, max: 1
    },
    restore: {
      usage: ['tarn restore DIR [--replace] [--device N]'],
      about: 'Restores a backup made by \'tarn backup\' after checking its manifest, model and checksums. ' +
        'Only empty tracks are written unless --replace is given.',
      options: { device: false, json: true, 'take-over': true, replace: true },
      help: [['--replace', 'also replace tracks that hold a file'], DEVICE,
        ['--json', 'print what was restored as JSON on stdout'], TAKE_OVER, HELP],
      min: 1, max: 1
    }
  };

  var FORMATS = ['16', '24', 'float'];

  // A mistake in the command line: exit status 2, with the subcommand's hint.
  function UsageError(message) {
    this.name = 'UsageError';
    this.message = message;
  }
  UsageError.prototype = Object.create(Error.prototype);
  UsageError.prototype.constructor = UsageError;

  function usageText(name) {
    var command = COMMANDS[name];
    var lines = command.usage.map(function (line, i) { return (i === 0 ? 'Usage: ' : '       ') + line; });
    lines.push('');
    Array.prototype.push.apply(lines, wrap(command.about, 78));
    lines.push('', 'Options:');
    var width = 0;
    command.help.forEach(function (h) { width = Math.max(width, h[0].length); });
    command.help.forEach(function (h) {
      var pad = h[0];
      while (pad.length < width) pad += ' ';
      lines.push('  ' + pad + '  ' + h[1]);
    });
    return lines.join('\n') + '\n';
  }

  // Words into lines of at most width characters.
  function wrap(text, width) {
    var lines = [];
    var line = '';
    String(text).split(' ').forEach(function (word) {
      if (line && line.length + 1 + word.length > width) { lines.push(line); line = word; } else line = line ? line + ' ' + word : word;
    });
    if (line) lines.push(line);
    return lines;
  }

  function positiveInteger(text) {
    return /^[0-9]+$/.test(text) && Number(text) >= 1 ? Number(text) : 0;
  }

  // "3/2" -> {memory: 3, track: 2} (1-based), or a UsageError.
  function parseAddress(text) {
    var match = /^([0-9]+)\/([0-9]+)$/.exec(String(text));
    var memory = match ? positiveInteger(match[1]) : 0;
    var track = match ? positiveInteger(match[2]) : 0;
    if (!memory || !track) {
      throw new UsageError("'" + text + "' is no track address: give MEMORY/TRACK, like 3/2 (memory 3, track 2)");
    }
    return { memory: memory, track: track };
  }

  // The address inside the model's layout (row: a model row), or a UsageError.
  function checkAddress(address, row) {
    var memories = row.numofMemParBank * row.numofBank;
    var tracks = row.numofTrackParMem;
    if (address.memory > memories || address.track > tracks) {
      throw new UsageError(address.memory + '/' + address.track + ' is not a track of the ' + row.name +
        ' (memories 1 to ' + memories + ', tracks 1 to ' + tracks + ')');
    }
    return address;
  }

  // args: the command line from the subcommand on. Returns {command, options, operands,
  // help}; throws a UsageError (whose command is set when the subcommand is known).
  function parse(args) {
    var name = args[0];
    if (!Object.prototype.hasOwnProperty.call(COMMANDS, name || '')) {
      var error = new UsageError(name ? "unknown command '" + name + "'" : 'no command given');
      error.command = '';
      throw error;
    }
    var command = COMMANDS[name];
    var options = {};
    var operands = [];
    try {
      var onlyOperands = false;
      for (var i = 1; i < args.length; i++) {
        var arg = String(args[i]);
        if (onlyOperands || arg === '-' || arg.charAt(0) !== '-') { operands.push(arg); continue; }
        if (arg === '--') { onlyOperands = true; continue; }
        if (arg === '--help' || arg === '-h') return { command: name, options: {}, operands: [], help: true };
        if (arg.substring(0, 2) !== '--') throw new UsageError("unknown option '" + arg + "'");
        var eq = arg.indexOf('=');
        var key = eq < 0 ? arg.substring(2) : arg.substring(2, eq);
        if (!Object.prototype.hasOwnProperty.call(command.options, key)) {
          throw new UsageError("unknown option '--" + key + "'");
        }
        var flag = command.options[key];
        if (flag) {
          if (eq >= 0) throw new UsageError("option '--" + key + "' takes no value");
          options[key] = true;
          continue;
        }
        var value = eq >= 0 ? arg.substring(eq + 1) : args[++i];
        if (value === undefined || value === '') throw new UsageError("option '--" + key + "' needs a value");
        if (options[key] !== undefined) throw new UsageError("option '--" + key + "' is given twice");
        options[key] = String(value);
      }
      check(name, command, options, operands);
    } catch (e) {
      if (e instanceof UsageError) e.command = name;
      throw e;
    }
    return { command: name, options: options, operands: operands, help: false };
  }

  function check(name, command, options, operands) {
    if (options.device !== undefined) {
      var n = positiveInteger(options.device);
      if (!n) throw new UsageError("--device takes a looper's number, 1 or more (not '" + options.device + "')");
      options.device = n;
    } else {
      options.device = 1;
    }
    if (options.format !== undefined && FORMATS.indexOf(options.format) < 0) {
      throw new UsageError("--format takes 16, 24 or float (not '" + options.format + "')");
    }
    if (name === 'import') {
      var ways = (options['from-folder'] !== undefined ? 1 : 0) + (options['next-empty'] ? 1 : 0);
      if (ways > 1) throw new UsageError('--from-folder and --next-empty do not go together');
      if (options['from-folder'] !== undefined) {
        if (operands.length) throw new UsageError('--from-folder takes no other files');
      } else if (options['next-empty']) {
        if (operands.length !== 1) throw new UsageError('give one FILE with --next-empty');
      } else if (operands.length !== 2) {
        throw new UsageError(operands.length < 2 ? 'give FILE and MEMORY/TRACK' : 'too many arguments');
      }
      if (operands.length === 2) operands[1] = parseAddress(operands[1]);
      return;
    }
    if (operands.length < command.min) throw new UsageError(missing(name));
    if (operands.length > command.max) throw new UsageError("too many arguments ('" + operands[command.max] + "')");
    if (name === 'export' || name === 'rm') operands[0] = parseAddress(operands[0]);
    if (name === 'undelete' && operands.length === 2) operands[1] = parseAddress(operands[1]);
  }

  function missing(name) {
    return { export: 'give MEMORY/TRACK and FILE', rm: 'give MEMORY/TRACK', backup: 'give the backup folder DIR',
      restore: 'give the backup folder DIR', undelete: "give the ID of a deleted track (see 'tarn deleted')" }[name];
  }

  // A path of the command line as an absolute one (relative ones from cwd).
  function absolute(path, cwd) {
    var text = String(path);
    var joined = text.charAt(0) === '/' ? text : String(cwd).replace(/\/+$/, '') + '/' + text;
    var parts = [];
    joined.split('/').forEach(function (part) {
      if (part === '' || part === '.') return;
      if (part === '..') parts.pop(); else parts.push(part);
    });
    return '/' + parts.join('/');
  }

  return {
    COMMANDS: COMMANDS,
    FORMATS: FORMATS,
    UsageError: UsageError,
    usageText: usageText,
    parse: parse,
    parseAddress: parseAddress,
    checkAddress: checkAddress,
    absolute: absolute
  };
});
