# The installation's SETUP.INI asks for more install selections than there
# are: the settings box "SETUP.INI : InstallSelect オーバー" under the caption
# "INSTCMMN", then the end without the wizard, exit code 0 and the game
# unchanged.
source "$(dirname "$CASE")/../launch_common.sh"
make_release
install_game
to_cp932 "$INSTALL/SETUP.INI" '[SETUP]' 'CompanyName=ExampleSoft' 'GameTitle=星の旅路DX' \
  'GameDir=StarJourney' 'GameExe=game.exe' 'UninstExe=uninst.exe' 'SetupBmp=setup1.bmp' \
  'InstallSelects=9' 'Shortcuts=0' 'GameClass=StarJourneyWnd'

start_updater "$WORK/UPDATE.EXE"
drive wait-box 30000 expect-box-caption INSTCMMN \
  expect-box-text "SETUP.INI : InstallSelect オーバー"
screenshot settings_error
drive answer-box ok 10000
expect_exit 0 30
expect_game "old game" "$(date -d '2001-01-01 00:00 UTC' +%s)"
