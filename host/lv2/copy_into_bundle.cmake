# Run at every build (cmake -P): copies the effect component (library,
# registration, bitmaps) and the platform library into the LV2 bundle. Files
# already there with the same time stamp are left alone, so a host that has
# the bundle loaded keeps its files until something really changed.
file(COPY ${COMPONENT} DESTINATION ${BUNDLE})
file(COPY ${PLATFORM} DESTINATION ${BUNDLE})
