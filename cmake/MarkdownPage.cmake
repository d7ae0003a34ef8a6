# Renders a Markdown file as a web page of its own, for a system that opens no .md file by
# itself: GitHub's Markdown, tables included, by cmark-gfm, in a page that declares its
# encoding.
#   cmake -DCMARK_GFM=/usr/bin/cmark-gfm -DSOURCE=README.md -DOUTPUT=README.html \
#         -DTITLE=Lumivane -P MarkdownPage.cmake
execute_process(COMMAND ${CMARK_GFM} --extension table ${SOURCE}
    OUTPUT_VARIABLE body RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${CMARK_GFM} could not render ${SOURCE}")
endif()
file(WRITE ${OUTPUT} "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<title>${TITLE}</title>
<style>
body { font-family: sans-serif; line-height: 1.4; max-width: 52em; margin: auto; padding: 1em; }
table { border-collapse: collapse; }
th, td { border: 1px solid #aaa; padding: 0.2em 0.5em; vertical-align: top; }
pre { background: #f3f3f3; padding: 0.5em; overflow-x: auto; }
</style>
</head>
<body>
${body}</body>
</html>
")
