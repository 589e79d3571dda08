// Property-list files: read a property list (XML or binary) from a path, and
// write one as XML, replacing the file atomically.
//
// All functions run on any host thread (never the render thread: they
// allocate and do file I/O). Files are untrusted: a file that is too large
// (kMorvanePropertyListMaxBytes), nested too deeply, malformed or of the wrong
// type gives an error text, never a crash.
#pragma once

#include <string>

#include "host/CoreFoundation.h"

// Reads the property list stored at path. Returns a new reference (the
// caller releases it), or nullptr with a one-line reason in error. options
// are the mutability options of CFPropertyListCreateWithData; format, when
// not null, receives the format the file was in.
CFPropertyListRef readPropertyListFile(const std::string& path, std::string& error,
                                       CFOptionFlags options = kCFPropertyListImmutable,
                                       CFPropertyListFormat* format = nullptr);

// As readPropertyListFile, but the top-level object must be a dictionary.
CFDictionaryRef readPropertyListDictionary(const std::string& path, std::string& error,
                                           CFOptionFlags options = kCFPropertyListImmutable);

// Writes plist to path in the given format (XML unless asked otherwise). The
// bytes go to a temporary file in the same directory that is then renamed over
// path, so readers see either the old file or the complete new one. Returns
// false with a one-line reason in error; path is then left as it was.
bool writePropertyListFile(const std::string& path, CFPropertyListRef plist, std::string& error,
                           CFPropertyListFormat format = kCFPropertyListXMLFormat_v1_0);

// The description text of a CFError (empty for nullptr).
std::string propertyListErrorText(CFErrorRef error);
