// The browser back end's calls out of WebAssembly (kxDiskMgrWeb.cpp). The worker
// gives the module a `disk` object that reads the picked File objects and writes
// the output sinks; these functions only pass the heap's bytes to it. Offsets are
// JavaScript numbers, exact to 2^53.
mergeInto(LibraryManager.library, {
  proj2wav_disk_read: function (file, offset, destination, count) {
    return Module['disk'].read(file, offset, HEAPU8.subarray(destination, destination + count));
  },
  proj2wav_disk_write: function (sink, offset, source, count) {
    return Module['disk'].write(sink, offset, HEAPU8.subarray(source, source + count));
  },
  proj2wav_disk_length: function (sink) {
    return Module['disk'].length(sink);
  },
  proj2wav_disk_truncate: function (sink, length) {
    return Module['disk'].truncate(sink, length);
  },
});
