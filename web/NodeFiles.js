// One module serves node and the page's worker. In node the program works
// on node's own files (emscripten's raw node file system); in the worker it
// keeps emscripten's in-memory files, where the playground puts the source
// and test texts. The stock set-up refuses every place but node; this one
// switches to node's files only there.
mergeInto(LibraryManager.library, {
  $NODERAWFS__postset: `
    if (ENVIRONMENT_IS_NODE) {
      var _wrapNodeError = function(func) {
        return function() {
          try {
            return func.apply(this, arguments)
          } catch (e) {
            if (e.code) {
              throw new FS.ErrnoError(ERRNO_CODES[e.code]);
            }
            throw e;
          }
        }
      };
      var VFS = Object.assign({}, FS);
      for (var _key in NODERAWFS) {
        FS[_key] = _wrapNodeError(NODERAWFS[_key]);
      }
    }`,
});
