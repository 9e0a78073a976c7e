// Program start: the application object, the translator window and its message loop.
#include <windows.h>

#include "framework/application.h"
#include "reporter/settings/module_settings.h"
#include "translator/form8.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  const reporter::settings::MainSettingsScope reporter_settings;  // the settings resource
  auto& app = framework::Application::Instance();
  app.Initialize();
  app.SetMainFormOnTaskBar(true);
  translator::TForm8 form8;
  ShowWindow(form8.Handle(), show);
  app.Run(form8.Handle());
  return 0;
}
