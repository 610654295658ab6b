# Writes a game's index.html: the page template with the game's script name.
file(READ ${IN} page)
string(REPLACE "@QUARNEX_GAME@" "${NAME}" page "${page}")
file(WRITE ${OUT} "${page}")
