// The game's page-side answers (emcc --js-library): its files kept in the browser's IndexedDB.
mergeInto(LibraryManager.library, {
  web_open_storage__deps: ['$IDBFS', '$FS'],
  web_open_storage: function() {
    return Asyncify.handleSleep(function(wakeUp) {
      FS.mkdir('/save');
      try {
        FS.mount(IDBFS, {}, '/save');
      } catch (e) {
        if (Module['onStorageRefused']) Module['onStorageRefused']();
        wakeUp(0);
        return;
      }
      FS.syncfs(true, function(error) {
        if (error && Module['onStorageRefused']) Module['onStorageRefused']();
        wakeUp(error ? 0 : 1);
      });
    });
  },

  web_sync_storage__deps: ['$FS'],
  web_sync_storage: function() {
    return Asyncify.handleSleep(function(wakeUp) {
      FS.syncfs(false, function(error) {
        if (error) console.error('The Ghosts of Vorn: the browser did not keep the files', error);
        wakeUp(error ? 0 : 1);
      });
    });
  }
});
