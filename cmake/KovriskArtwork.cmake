# The program's pictures, rendered at build time from the drawings in src/app/artwork: the icon at
# the sizes each platform asks for, and the status window's picture (Image1).
set(KOVRISK_ARTWORK_DIR ${PROJECT_SOURCE_DIR}/src/app/artwork)
set(KOVRISK_ICON_SVG ${KOVRISK_ARTWORK_DIR}/kovrisk.svg)
set(KOVRISK_STATUS_PICTURE_SVG ${KOVRISK_ARTWORK_DIR}/status_window.svg)

find_program(KOVRISK_RSVG_CONVERT rsvg-convert REQUIRED)

# Renders `svg` into the PNG `output`, `width` x `height` pixels. The drawing's own folder is its
# base, so the pictures it draws in (the icon) are found. The output's folder is made first: only
# Ninja makes it on its own, the Makefile generators do not.
function(kovrisk_render_png svg output width height)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${KOVRISK_RSVG_CONVERT} --width ${width} --height ${height} --format png
            --output ${output} ${svg}
    DEPENDS ${svg} ${KOVRISK_ICON_SVG}
    COMMENT "Rendering ${output}"
    VERBATIM)
endfunction()

# The icon as PNGs of the given square sizes in `folder` (kovrisk-<size>.png); the list of their
# paths in `out_var`.
function(kovrisk_icon_pngs folder out_var)
  set(pngs)
  foreach(size IN LISTS ARGN)
    set(png ${folder}/kovrisk-${size}.png)
    kovrisk_render_png(${KOVRISK_ICON_SVG} ${png} ${size} ${size})
    list(APPEND pngs ${png})
  endforeach()
  set(${out_var} ${pngs} PARENT_SCOPE)
endfunction()

# The status window's picture as a PNG, at the size the window shows it.
function(kovrisk_status_picture_png output)
  kovrisk_render_png(${KOVRISK_STATUS_PICTURE_SVG} ${output} 413 109)
endfunction()
