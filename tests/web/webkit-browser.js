// A WebKitGTK browser for WebKitWebDriver to drive, run by GJS:
//   gjs -m webkit-browser.js --automation --profile=DIR --downloads=DIR --features=A,B
// WebKitGTK's own MiniBrowser keeps a driven session in an ephemeral profile, as a
// private window, where the engine refuses pages their own storage. This one keeps
// the profile in DIR, as Safari keeps a user's, switches on the named WebKit
// features (storage is off by default in WebKitGTK) and saves downloads in DIR.
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Gtk from 'gi://Gtk?version=3.0';
import WebKit2 from 'gi://WebKit2?version=4.1';
import System from 'system';

const option = (name) => {
  const found = System.programArgs.find((a) => a.startsWith(`--${name}=`));
  return found ? found.slice(name.length + 3) : '';
};

Gtk.init(null);
const profile = option('profile');
const context = new WebKit2.WebContext({
  website_data_manager: new WebKit2.WebsiteDataManager({
    base_data_directory: `${profile}/data`, base_cache_directory: `${profile}/cache`,
  }),
});
context.set_automation_allowed(true);

const settings = new WebKit2.Settings();
const wanted = option('features').split(',');
const features = WebKit2.Settings.get_all_features();
for (let i = 0; i < features.get_length(); i += 1) {
  const feature = features.get(i);
  if (wanted.includes(feature.get_identifier())) settings.set_feature_enabled(feature, true);
}

// Downloads are written under a name of their own and get theirs once whole, as
// other browsers' downloads do.
context.connect('download-started', (_, download) => {
  let path;
  download.connect('decide-destination', (_download, name) => {
    path = `${option('downloads')}/${name}`;
    download.set_destination(GLib.filename_to_uri(`${path}.part`, null));
    return true;
  });
  download.connect('finished', () => {
    Gio.File.new_for_path(`${path}.part`).move(Gio.File.new_for_path(path),
      Gio.FileCopyFlags.NONE, null, null);
  });
});

context.connect('automation-started', (_, session) => {
  session.connect('create-web-view', () => {
    const view = new WebKit2.WebView({
      web_context: context, settings, is_controlled_by_automation: true,
    });
    const window = new Gtk.Window({ default_width: 1000, default_height: 640 });
    window.add(view);
    view.connect('close', () => window.destroy());
    window.show_all();
    return view;
  });
});

Gtk.main();
