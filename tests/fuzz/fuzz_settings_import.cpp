// The settings import of `strixc-tool settings import`: any document is either refused with a
// reason or becomes a tree that the settings file takes whole, exports again as the same document,
// and that the station's readers of their own values (client settings, address book, screen
// layouts) load without harm.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "settings/settings_database.h"
#include "settings_json.h"
#include "display/screen_layouts.h"
#include "shell/address_book.h"
#include "tools/client_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace strixc;
  const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  settings::Tree tree;
  QString problem;
  if (!tool::TreeFromJson(text, &tree, &problem)) {
    FUZZ_CHECK(!problem.isEmpty());
    return 0;
  }

  settings::SettingsDatabase db;
  db.OpenInMemory();
  FUZZ_CHECK(db.Import(tree));
  const QByteArray exported = tool::TreeToJson(db.Export());
  settings::Tree again;
  FUZZ_CHECK(tool::TreeFromJson(exported, &again, &problem));
  settings::SettingsDatabase second;
  second.OpenInMemory();
  FUZZ_CHECK(second.Import(again));
  FUZZ_CHECK(tool::TreeToJson(second.Export()) == exported);

  tools::ClientSettings client("/nonexistent");
  client.Load(db);
  client.GetDefaultDir();
  shell::AddressBook book;
  book.Load(db);
  for (int i = 0; i < book.Count(); ++i) book.Get(i);
  display::ScreenLayouts layouts;
  layouts.LoadLayouts(db, "MainDisplay");
  layouts.ComputeLayouts({0, 0, 1023, 767});
  for (int layout = 0; layout < display::kLayouts; ++layout) {
    FUZZ_CHECK(layouts.SetLayout(layout) || layouts.Layout() == layout);
    for (int camera = 0; camera < display::kCameras; ++camera) layouts.CameraInCell(layouts.CellOfCamera(camera));
  }
  return 0;
}
