# The tests' time-outs: a test may take four times what it took on a 2-core machine (below, as
# ctest timed it running two unit tests or four end-to-end tests at a time), and 30 s more, before
# it fails as hung; five times that under the sanitizers. A unit test not listed took 2 s at
# most. The probe's watcher also bounds each of its cases at 30 s itself. Read at configure time
# for the end-to-end tests, and by CTest for the unit tests once gtest's discovery has listed
# them (<target>_TESTS).
set(stream8_measured_seconds
  record.FastPaths.EveryFrameOfTheShowIsTheLibrarysFrame 67
  Artwork.GeneratorReproducesCommittedFilesByteForByte 38
  record.Probe.WatcherNamesEachWayItsChildFails 26
  record.Probe.VerdictsCountCpuTimeNotLoad 16
  record.Golden.TheShowIsTheCommittedShow 15
  record.Recording.HostileEnvironmentEndsWithAMessageAndLeavesNothingBehind 14
  record.Recording.AVideoReplacesTheOutputOnlyWhenItReadsBackWhole 14
  Artwork.CreditsStandOutFromTheLogoBehindThem 9
  record.Recording.MalformedModuleIsNamedAndTheWorkingDirectoryStaysUntouched 8
  ShowTimeline.ThreeCyclesOfRealScenesThenTheEnding 8
  record.Bench.TableCountsEveryPhaseAndScene 8
  record.Recording.ShortRecordingIsA640x480VideoWithStereoSoundFromTheFirstLoopFrame 7
  RunShow.WholeShowRunsToItsEndByItself 7
  Artwork.TunnelScenePulsesOnTheEighthNote 6
  record.Probe.PicturesAreDecodedInTheChildOnly 5
  record.Recording.WithoutTheModuleTheVideoIsMadeWithSilentSound 5
  record.Recording.LeftoversOfAKilledRecorderAreRemovedAtTheNextStart 4
  "Paths/Raster.ScaledFramesMatchTheLibrarysStretch/portable  # GetParam() = portable" 3
  "Paths/Raster.ScaledFramesMatchTheLibrarysStretch/avx2  # GetParam() = avx2" 4
  "Paths/Raster.ScaledFramesMatchTheLibrarysStretch/avx512  # GetParam() = avx512" 3
  e2e_whole_show 85
  e2e_no_module 60
  e2e_startup_failures 8
  e2e_silent_starts 10
  e2e_desktops 34
  e2e_installed 12
  e2e_depth16_relief 70
  e2e_esc_on_8bit_desktop 12
  e2e_esc_in_logo 3
  e2e_esc_in_pause 52
  e2e_esc_in_fade 54)

# The time-out of the test `name` into `out`.
function(stream8_timeout name out)
  set(seconds 1)
  list(FIND stream8_measured_seconds "${name}" at)
  if(at GREATER -1)
    math(EXPR at "${at} + 1")
    list(GET stream8_measured_seconds ${at} seconds)
  endif()
  math(EXPR timeout "(4 * ${seconds} + 30) * ${STREAM8_TIMEOUT_SCALE}")
  set(${out} ${timeout} PARENT_SCOPE)
endfunction()

foreach(list raster_tests_TESTS frame_tests_TESTS show_tests_TESTS record_tests_TESTS
             artwork_tests_TESTS soundtrack_tests_TESTS)
  foreach(test IN LISTS ${list})
    stream8_timeout("${test}" timeout)
    set_tests_properties("${test}" PROPERTIES TIMEOUT ${timeout})
  endforeach()
endforeach()
