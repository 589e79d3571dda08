# The manual beside its pictures: the source links them in build/release.
file(READ ${IN} text)
string(REPLACE "../build/release/docs/images/" "images/" text "${text}")
file(WRITE ${OUT} "${text}")
