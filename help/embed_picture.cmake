# Writes the help page with the example picture in place of its placeholder, or with
# a note where the build draws no pictures.
#   cmake -DPAGE=index.html -DOUTPUT=HelpFolder/index.html [-DPICTURE=picture.svg] -P embed_picture.cmake
file(READ "${PAGE}" page)
if(DEFINED PICTURE)
  file(READ "${PICTURE}" picture)
else()
  set(picture "<p>(This build draws no pictures; the Linux build of the batch tool does.)</p>")
endif()
string(REPLACE "<!-- example picture -->" "${picture}" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
