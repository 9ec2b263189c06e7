# Writes the library's settings and a DIGMID patch index built from Debian's freepats.
# DIGMID cannot read TiMidity's freepats.cfg: it ignores "dir", numbers programs from 1
# and knows no "drumset", so the index is rewritten in its own dialect.
# Inputs: FREEPATS_CFG, FREEPATS_DIR, PATCH_DIR, GAME_CFG, TEST_CFG, INSTALL_CFG_DIR.
cmake_minimum_required(VERSION 3.18)

file(STRINGS "${FREEPATS_CFG}" lines)
set(section "")
set(tones "")
set(drums "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*drumset[ \t]+0")
    set(section DRUMSET)
  elseif(line MATCHES "^[ \t]*bank[ \t]+0")
    set(section BANK)
  elseif(line MATCHES "^[ \t]*([0-9]+)[ \t]+([^ \t]+)\\.pat")
    set(number ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    if(section STREQUAL "BANK")
      math(EXPR number "${number} + 1")
      string(APPEND tones "${number} ${name}\n")
    elseif(section STREQUAL "DRUMSET")
      string(APPEND drums "${number} ${name}\n")
    endif()
  endif()
endforeach()
if(tones STREQUAL "" OR drums STREQUAL "")
  message(FATAL_ERROR "no instruments or drums found in ${FREEPATS_CFG}")
endif()

file(MAKE_DIRECTORY "${PATCH_DIR}")
foreach(bank Tone_000 Drum_000)
  file(CREATE_LINK "${FREEPATS_DIR}/${bank}" "${PATCH_DIR}/${bank}" SYMBOLIC)
endforeach()
file(WRITE "${PATCH_DIR}/default.cfg"
  "# GUS patch index for the DIGMID synth, generated from ${FREEPATS_CFG}\n"
  "${tones}\n129 begin_multipatch\n${drums}end_multipatch\n")

set(common "[graphics]\ngfx_card = XWIN\n\n[sound]\nmidi_card = DIGI\n")
set(patches "patches = ${PATCH_DIR}/default.cfg\n")
file(WRITE "${GAME_CFG}" "${common}${patches}")
get_filename_component(test_dir "${TEST_CFG}" DIRECTORY)
file(MAKE_DIRECTORY "${test_dir}")
file(WRITE "${TEST_CFG}" "${common}${patches}alsa_device = null\n")
# Installed, each lies in a folder the launcher names in $ALLEGRO, beside its own copy of the
# patch index: with no "patches" line the library looks for default.cfg there.
file(WRITE "${INSTALL_CFG_DIR}/sound/allegro.cfg" "${common}")
file(WRITE "${INSTALL_CFG_DIR}/silent/allegro.cfg" "${common}alsa_device = null\n")

