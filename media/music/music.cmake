# Each score becomes its track with abc2midi, and its sheet music with abcm2ps (then a PNG of each
# page through Ghostscript, when there is one). Sets MUSIC_TRACKS and SHEET_MUSIC.
find_program(ABC2MIDI abc2midi REQUIRED)
find_program(ABCM2PS abcm2ps)
find_program(GHOSTSCRIPT gs)

# In the order of the datafile's items.
set(MUSIC_SCORES haunted-arcade crypt-crawl moonlight-chase lantern-swing wraith-rush)
set(MUSIC_DIR ${CMAKE_BINARY_DIR}/music)
set(MUSIC_SCORE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/music)
set(MUSIC_TRACKS)
set(SHEET_MUSIC)
foreach(score IN LISTS MUSIC_SCORES)
  set(abc ${MUSIC_SCORE_DIR}/${score}.abc)
  add_custom_command(
    OUTPUT ${MUSIC_DIR}/${score}.mid
    COMMAND ${CMAKE_COMMAND} -E make_directory ${MUSIC_DIR}
    # abc2midi says nothing worth reading unless it fails, and then its status says so
    COMMAND ${ABC2MIDI} ${abc} 1 -o ${MUSIC_DIR}/${score}.mid -silent
    DEPENDS ${abc}
    COMMENT "Making ${score}.abc into its MIDI track"
    VERBATIM)
  list(APPEND MUSIC_TRACKS ${MUSIC_DIR}/${score}.mid)
  if(ABCM2PS AND GHOSTSCRIPT)
    add_custom_command(
      OUTPUT ${MUSIC_DIR}/sheets/${score}-1.png
      COMMAND ${CMAKE_COMMAND} -E make_directory ${MUSIC_DIR}/sheets
      COMMAND ${ABCM2PS} -q -c ${abc} -O ${MUSIC_DIR}/sheets/${score}.ps
      COMMAND ${GHOSTSCRIPT} -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r90
              -sOutputFile=${MUSIC_DIR}/sheets/${score}-%d.png ${MUSIC_DIR}/sheets/${score}.ps
      DEPENDS ${abc}
      COMMENT "Engraving ${score}.abc"
      VERBATIM)
    list(APPEND SHEET_MUSIC ${MUSIC_DIR}/sheets/${score}-1.png)
  endif()
endforeach()

# For the music report and the tests: each score beside the track made from it, in item order.
set(list "")
foreach(score IN LISTS MUSIC_SCORES)
  string(APPEND list "${MUSIC_SCORE_DIR}/${score}.abc ${MUSIC_DIR}/${score}.mid\n")
endforeach()
file(WRITE ${MUSIC_DIR}/tracks.list "${list}")
