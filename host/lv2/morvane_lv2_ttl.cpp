// Writes the Turtle of the LV2 bundle from the effect's own tables, so the
// ports and presets a host sees can never drift from the parameters the
// effect publishes:
//   manifest.ttl  the two plug-ins, their editor and the 33 factory presets
//   morvane.ttl   the plug-ins: 45 control ports in id order with symbols
//                 derived from the short names, natural ranges, defaults and
//                 units, toggles, integer lists with their value names, the
//                 time and notification atom ports, then audio; and the
//                 editor (an X11 user interface) with what it needs
//   presets.ttl   each factory preset: its 45 port values (what the factory
//                 preset stores) and a state property naming the preset, so
//                 a host that restores state gets the pad gestures and drift
//
// Usage: morvane-lv2-ttl OUTDIR. Exits non-zero, leaving no half-written
// file, when a file cannot be written or two ports would share a symbol.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "host/lv2/MorvaneLv2.h"
#include "params/MorvaneParameterManager.h"
#include "params/factory_presets.h"

namespace {

using namespace morvane_lv2;

static_assert(kNumPublishedParameters == static_cast<int32_t>(kControlPortCount),
              "one control port per published parameter");
static_assert(kFactoryPresetValueCount == static_cast<int>(kControlPortCount),
              "a factory preset stores every control port");

// The shortest plain decimal that reads back as exactly this float ("2040",
// "0.676"), or nine significant digits for a value that has none.
std::string number(float value) {
    char text[64];
    for (int decimals = 0; decimals <= 12; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) return text;
    }
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    while (!text.empty() && text.front() == ' ')
        text.erase(text.begin());
    return text;
}

// "L X Dest" -> "L_X_Dest", "Filt On" -> "Filt_On": letters and digits kept,
// every other run of characters one underscore.
std::string symbolFor(const std::string& shortName) {
    std::string symbol;
    bool gap = false;
    for (unsigned char c : shortName) {
        if (std::isalnum(c)) {
            if (gap && !symbol.empty()) symbol += '_';
            symbol += static_cast<char>(c);
            gap = false;
        } else {
            gap = true;
        }
    }
    if (symbol.empty() || std::isdigit(static_cast<unsigned char>(symbol[0]))) return "p" + symbol;
    return symbol;
}

std::string shortNameOf(MorvaneParameterManager& params, int32_t id) {
    char text[16] = {};
    params.getName(id, text, 8);
    return text;
}

std::string presetUri(int n) {
    return std::string(kPresetUriPrefix) + std::to_string(n);
}

const char* kPrefixes = "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
                        "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
                        "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                        "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                        "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
                        "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
                        "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                        "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                        "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                        "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                        "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
                        "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
                        "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                        "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
                        "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";

class Writer {
  public:
    Writer() {
        for (int32_t id = 0; id < kNumPublishedParameters; ++id) {
            symbols_[id] = symbolFor(shortNameOf(params_, id));
            if (!used_.insert(symbols_[id]).second) duplicate_ = symbols_[id];
        }
    }
    const std::string& duplicateSymbol() const { return duplicate_; }

    std::string manifest() const {
        std::ostringstream t;
        t << kPrefixes;
        for (const char* uri : {kStereoUri, kMonoUri})
            t << "<" << uri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << kBinaryName
              << "> ;\n    rdfs:seeAlso <morvane.ttl> .\n\n";
        t << "<" << kUiUri << ">\n    a ui:X11UI ;\n    ui:binary <" << kUiBinaryName
          << "> ;\n    rdfs:seeAlso <morvane.ttl> .\n\n";
        for (int n = 0; n < kFactoryPresetCount; ++n)
            t << "<" << presetUri(n) << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << kStereoUri << "> , <"
              << kMonoUri << "> ;\n    rdfs:seeAlso <presets.ttl> .\n\n";
        return t.str();
    }

    std::string plugins() {
        std::ostringstream t;
        t << kPrefixes;
        plugin(t, kStereoUri, "Morvane", 2);
        plugin(t, kMonoUri, "Morvane (mono)", 1);
        // The editor needs the instance itself (its parameter manager,
        // recorders and pad drift are reached through the unit).
        t << "<" << kUiUri << ">\n    a ui:X11UI ;\n"
          << "    lv2:requiredFeature <http://lv2plug.in/ns/ext/instance-access> ,\n"
          << "        <http://lv2plug.in/ns/ext/data-access> , ui:idleInterface ;\n"
          << "    lv2:optionalFeature ui:parent , ui:resize , ui:touch , ui:noUserResize , opts:options ,\n"
          << "        urid:map ;\n"
          << "    opts:supportedOption ui:scaleFactor ;\n"
          << "    lv2:extensionData ui:idleInterface , ui:showInterface .\n\n";
        // The state properties, described for hosts and validators.
        t << "<" << kStatePropertyList << ">\n    a rdf:Property ;\n    rdfs:label \"state\" ;\n"
          << "    rdfs:comment \"The effect's whole state, an XML property list.\" ;\n"
          << "    rdfs:range atom:String .\n\n"
          << "<" << kStateFactoryPreset << ">\n    a rdf:Property ;\n    rdfs:label \"factory preset\" ;\n"
          << "    rdfs:comment \"Number of the factory preset to load, with its pad gestures and drift.\" ;\n"
          << "    rdfs:range xsd:int .\n";
        return t.str();
    }

    std::string presets() {
        std::ostringstream t;
        t << kPrefixes;
        for (int n = 0; n < kFactoryPresetCount; ++n) {
            t << "<" << presetUri(n) << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << kStereoUri << "> , <"
              << kMonoUri << "> ;\n    rdfs:label " << quoted(kPresets[n].name) << " ;\n    lv2:port";
            for (int32_t id = 0; id < kNumPublishedParameters; ++id) {
                // What the factory preset stores: the table's normalised
                // entry turned into the parameter's natural value.
                const float value = params_.naturalValueFromVSTvalue(id, kPresetData[n][id]);
                // Always a decimal ("8.0", not "8"): lilv hands a host an
                // integer literal as an int atom, which some hosts ignore.
                std::string text = number(value);
                if (text.find_first_of(".e") == std::string::npos) text += ".0";
                t << (id ? " ,\n" : "\n") << "        [ lv2:symbol " << quoted(symbols_[id])
                  << " ; pset:value " << text << " ]";
            }
            t << " ;\n    state:state [\n        <" << kStateFactoryPreset << "> \"" << n
              << "\"^^xsd:int\n    ] .\n\n";
        }
        return t.str();
    }

  private:
    void plugin(std::ostringstream& t, const char* uri, const char* name, uint32_t channels) {
        t << "<" << uri << ">\n"
          << "    a lv2:Plugin , lv2:DelayPlugin ;\n"
          << "    doap:name " << quoted(name) << " ;\n"
          << "    rdfs:comment \"A filter-and-delay effect with two XY pads that sweep its parameters, "
             "thrown, recorded and played in time with the host.\" ;\n"
          << "    lv2:minorVersion 0 ;\n    lv2:microVersion 1 ;\n"
          << "    lv2:optionalFeature lv2:hardRTCapable , urid:map , opts:options , bufsz:boundedBlockLength "
             ";\n"
          << "    opts:supportedOption bufsz:maxBlockLength ;\n"
          << "    lv2:extensionData state:interface ;\n"
          << "    ui:ui <" << kUiUri << "> ;\n"
          << "    lv2:port";
        for (int32_t id = 0; id < kNumPublishedParameters; ++id) {
            t << (id ? " , " : " ");
            controlPort(t, id);
        }
        t << " , [\n        a lv2:InputPort , atom:AtomPort ;\n"
          << "        atom:bufferType atom:Sequence ;\n        atom:supports time:Position ;\n"
          << "        lv2:designation lv2:control ;\n        lv2:portProperty lv2:connectionOptional ;\n"
          << "        lv2:index " << kControlInPort << " ;\n        lv2:symbol \"control\" ;\n"
          << "        lv2:name \"Control\"\n    ] , [\n"
          << "        a lv2:OutputPort , atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n"
          << "        lv2:designation lv2:control ;\n        lv2:portProperty lv2:connectionOptional ;\n"
          << "        lv2:index " << kNotifyOutPort << " ;\n        lv2:symbol \"notify\" ;\n"
          << "        lv2:name \"Notify\"\n    ]";
        const char* stereo[4][2] = {
            {"in_l", "Left In"}, {"in_r", "Right In"}, {"out_l", "Left Out"}, {"out_r", "Right Out"}};
        const char* mono[2][2] = {{"in", "In"}, {"out", "Out"}};
        for (uint32_t i = 0; i < 2 * channels; ++i) {
            const char* const* port = channels == 2 ? stereo[i] : mono[i];
            t << " , [\n        a " << (i < channels ? "lv2:InputPort" : "lv2:OutputPort")
              << " , lv2:AudioPort ;\n"
              << "        lv2:index " << kFirstAudioPort + i << " ;\n        lv2:symbol \"" << port[0]
              << "\" ;\n        lv2:name \"" << port[1] << "\"\n    ]";
        }
        t << " .\n\n";
    }

    void controlPort(std::ostringstream& t, int32_t id) {
        const ko_paramTypes kind = params_.getType(id);
        // A synced time is published as its 0..1 fraction; its default is the
        // stored one, so a host's first value changes nothing.
        const bool fraction = kind == kParamSyncTimeNorm || kind == kParamSyncRateNorm;
        const float minimum = fraction ? 0.0f : params_.getMinimumValue(id);
        const float maximum = fraction ? 1.0f : params_.getMaximumValue(id);
        t << "[\n        a lv2:InputPort , lv2:ControlPort ;\n"
          << "        lv2:index " << id << " ;\n        lv2:symbol " << quoted(symbols_[id]) << " ;\n"
          << "        lv2:name " << quoted(params_.getName(id)) << " ;\n"
          << "        lv2:default " << number(params_.getDefaultValue(id)) << " ;\n"
          << "        lv2:minimum " << number(minimum) << " ;\n        lv2:maximum " << number(maximum);
        switch (kind) {
        case kParamOnOff:
            t << " ;\n        lv2:portProperty lv2:toggled";
            break;
        case kParamPercent:
            t << " ;\n        units:unit units:pc";
            break;
        case kParamLinearHz:
            t << " ;\n        units:unit units:hz";
            break;
        case kParamExpHz:
            t << " ;\n        units:unit units:hz ;\n        lv2:portProperty pprops:logarithmic";
            break;
        case kParamDecibel:
            t << " ;\n        units:unit units:db";
            break;
        case kParamIndexed:
            t << " ;\n        lv2:portProperty lv2:integer , lv2:enumeration";
            scalePoints(t, id, static_cast<int32_t>(minimum), static_cast<int32_t>(maximum));
            break;
        default:
            break;
        }
        t << "\n    ]";
    }

    // The names a host is given for the values, else the display texts.
    void scalePoints(std::ostringstream& t, int32_t id, int32_t first, int32_t last) {
        const MorvaneParameterManager::ValueStrings names = MorvaneParameterManager::hostValueStrings(id);
        t << " ;\n        lv2:scalePoint";
        for (int32_t i = first; i <= last; ++i) {
            std::string label;
            if (names.strings != nullptr && i >= 0 && i < names.count) {
                label = names.strings[i];
            } else {
                char text[64] = {};
                params_.getValueStringFromVSTvalue(
                    id, text, params_.VSTvalueFromNaturalValue(id, static_cast<float>(i)), 40);
                label = text;
            }
            t << (i > first ? " , " : " ") << "[ rdfs:label " << quoted(trimmed(label)) << " ; rdf:value "
              << i << " ]";
        }
    }

    MorvaneParameterManager params_;
    std::string symbols_[kControlPortCount];
    std::set<std::string> used_;
    std::string duplicate_;
};

// Writes beside the target and renames, so a failed run leaves no half file.
bool writeFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::fprintf(stderr, "morvane-lv2-ttl: cannot write %s\n", temporary.c_str());
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "morvane-lv2-ttl: cannot replace %s\n", path.c_str());
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: morvane-lv2-ttl OUTDIR\n");
        return 2;
    }
    Writer writer;
    if (!writer.duplicateSymbol().empty()) {
        std::fprintf(stderr, "morvane-lv2-ttl: two ports would have the symbol %s\n",
                     writer.duplicateSymbol().c_str());
        return 1;
    }
    const std::string dir = argv[1];
    const bool ok = writeFile(dir + "/manifest.ttl", writer.manifest()) &&
                    writeFile(dir + "/morvane.ttl", writer.plugins()) &&
                    writeFile(dir + "/presets.ttl", writer.presets());
    return ok ? 0 : 1;
}
