# The updater as built, without an archive resource: it ends at once with
# exit code 0. A message box would keep it running until answered, so an
# end within the time limit also shows that none was opened.
start_updater "$WIN64/updater.exe"
expect_exit 0 30
