#include "lv2_test_host.h"

#include <lv2/buf-size/buf-size.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "host/lv2/MorvaneLv2.h"

namespace lv2_test {

namespace {

struct Uris {
    std::mutex lock;
    std::vector<std::string> names;
};

Uris& uris() {
    static Uris u;
    return u;
}

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    return map(uri);
}

const char* unmapUri(LV2_URID_Unmap_Handle, LV2_URID urid) {
    Uris& u = uris();
    std::lock_guard<std::mutex> guard(u.lock);
    return urid >= 1 && urid <= u.names.size() ? u.names[urid - 1].c_str() : nullptr;
}

LV2_URID_Map gMap{nullptr, &mapUri};
LV2_URID_Unmap gUnmap{nullptr, &unmapUri};

// The world with the bundle of the build tree loaded.
LilvWorld* world() {
    static LilvWorld* w = [] {
        LilvWorld* created = lilv_world_new();
        lilv_world_load_specifications(created);
        lilv_world_load_plugin_classes(created);
        LilvNode* bundle = lilv_new_file_uri(created, nullptr, MORVANE_LV2_BUNDLE_DIR "/");
        lilv_world_load_bundle(created, bundle);
        lilv_node_free(bundle);
        return created;
    }();
    return w;
}

// Takes float values only, as the strictest hosts do.
void setPortValue(const char* symbol, void* self, const void* value, uint32_t size, uint32_t type) {
    if (type == map(LV2_ATOM__Float) && size == sizeof(float))
        static_cast<Plugin*>(self)->control(symbol) = *static_cast<const float*>(value);
}

const void* getPortValue(const char* symbol, void* self, uint32_t* size, uint32_t* type) {
    *size = sizeof(float);
    *type = map(LV2_ATOM__Float);
    return &static_cast<Plugin*>(self)->control(symbol);
}

} // namespace

LV2_URID map(const char* uri) {
    Uris& u = uris();
    std::lock_guard<std::mutex> guard(u.lock);
    const auto it = std::find(u.names.begin(), u.names.end(), uri);
    if (it != u.names.end()) return static_cast<LV2_URID>(it - u.names.begin() + 1);
    u.names.emplace_back(uri);
    return static_cast<LV2_URID>(u.names.size());
}

Plugin::Plugin(const char* uri, double sampleRate, uint32_t maxBlock)
    : controls_(morvane_lv2::kControlPortCount), maxBlock_(static_cast<int32_t>(maxBlock)) {
    LilvNode* node = lilv_new_uri(world(), uri);
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world()), node);
    lilv_node_free(node);
    if (plugin_ == nullptr) throw std::runtime_error(std::string("no plug-in ") + uri);
    const uint32_t ports = lilv_plugin_get_num_ports(plugin_);
    channels_ = (ports - morvane_lv2::kFirstAudioPort) / 2;
    std::vector<float> defaults(ports);
    lilv_plugin_get_port_ranges_float(plugin_, nullptr, nullptr, defaults.data());
    std::copy_n(defaults.begin(), controls_.size(), controls_.begin());

    features_.push_back({LV2_URID__map, &gMap});
    features_.push_back({LV2_URID__unmap, &gUnmap});
    if (maxBlock > 0) {
        options_.push_back({LV2_OPTIONS_INSTANCE, 0, map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                            map(LV2_ATOM__Int), &maxBlock_});
        options_.push_back({LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr});
        features_.push_back({LV2_OPTIONS__options, options_.data()});
    }
    for (const LV2_Feature& f : features_)
        featureList_.push_back(&f);
    featureList_.push_back(nullptr);
    instance_ = lilv_plugin_instantiate(plugin_, sampleRate, featureList_.data());
    if (instance_ == nullptr) throw std::runtime_error(std::string("cannot instantiate ") + uri);
    lv2_atom_forge_init(&forge_, &gMap);
    for (uint32_t i = 0; i < morvane_lv2::kControlPortCount; ++i)
        lilv_instance_connect_port(instance_, i, &controls_[i]);
    lilv_instance_connect_port(instance_, morvane_lv2::kControlInPort, control_);
    lilv_instance_connect_port(instance_, morvane_lv2::kNotifyOutPort, notify_);
    in_.resize(channels_);
    out_.resize(channels_);
}

Plugin::~Plugin() {
    if (instance_ != nullptr) lilv_instance_free(instance_);
}

float& Plugin::control(const char* symbol) {
    LilvNode* node = lilv_new_string(world(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin_, node);
    lilv_node_free(node);
    if (port == nullptr) throw std::runtime_error(std::string("no port ") + symbol);
    return controls_.at(lilv_port_get_index(plugin_, port));
}

void Plugin::activate() {
    lilv_instance_activate(instance_);
}

void Plugin::position(const Position& p) {
    pending_.push_back(p);
}

void Plugin::run(const std::vector<std::vector<float>>& in, size_t offset, uint32_t frames,
                 std::vector<std::vector<float>>& out) {
    lv2_atom_forge_set_buffer(&forge_, control_, sizeof control_);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge_, &sequence, 0);
    for (const Position& p : pending_) {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge_, p.frame);
        lv2_atom_forge_object(&forge_, &object, 0, map(LV2_TIME__Position));
        lv2_atom_forge_key(&forge_, map(LV2_TIME__speed));
        lv2_atom_forge_float(&forge_, static_cast<float>(p.speed));
        if (p.tempo > 0.0) {
            lv2_atom_forge_key(&forge_, map(LV2_TIME__beatsPerMinute));
            lv2_atom_forge_float(&forge_, static_cast<float>(p.tempo));
        }
        if (p.beatUnit > 0.0) {
            lv2_atom_forge_key(&forge_, map(LV2_TIME__beatUnit));
            lv2_atom_forge_int(&forge_, static_cast<int32_t>(p.beatUnit));
        }
        if (p.beat >= 0.0) {
            lv2_atom_forge_key(&forge_, map(LV2_TIME__beat));
            lv2_atom_forge_double(&forge_, p.beat);
        } else if (p.bar >= 0.0) {
            lv2_atom_forge_key(&forge_, map(LV2_TIME__bar));
            lv2_atom_forge_long(&forge_, static_cast<int64_t>(p.bar));
            lv2_atom_forge_key(&forge_, map(LV2_TIME__barBeat));
            lv2_atom_forge_float(&forge_, static_cast<float>(p.barBeat));
            lv2_atom_forge_key(&forge_, map(LV2_TIME__beatsPerBar));
            lv2_atom_forge_float(&forge_, static_cast<float>(p.beatsPerBar));
        }
        lv2_atom_forge_pop(&forge_, &object);
    }
    lv2_atom_forge_pop(&forge_, &sequence);
    pending_.clear();
    auto* notify = reinterpret_cast<LV2_Atom*>(notify_);
    notify->size = sizeof notify_ - sizeof(LV2_Atom);
    notify->type = map(LV2_ATOM__Chunk);

    for (uint32_t c = 0; c < channels_; ++c) {
        in_[c].assign(in[c].begin() + static_cast<std::ptrdiff_t>(offset),
                      in[c].begin() + static_cast<std::ptrdiff_t>(offset + frames));
        out_[c].assign(frames, 0.0f);
        lilv_instance_connect_port(instance_, morvane_lv2::kFirstAudioPort + c, in_[c].data());
        lilv_instance_connect_port(instance_, morvane_lv2::kFirstAudioPort + channels_ + c, out_[c].data());
    }
    if (runFlag_ != nullptr) *runFlag_ = true;
    lilv_instance_run(instance_, frames);
    if (runFlag_ != nullptr) *runFlag_ = false;
    for (uint32_t c = 0; c < channels_; ++c)
        out[c].insert(out[c].end(), out_[c].begin(), out_[c].end());
}

std::vector<std::vector<float>> Plugin::process(const std::vector<std::vector<float>>& in, uint32_t block) {
    std::vector<std::vector<float>> out(channels_);
    const size_t total = in.at(0).size();
    for (size_t done = 0; done < total;) {
        const auto frames = static_cast<uint32_t>(std::min<size_t>(block, total - done));
        run(in, done, frames, out);
        done += frames;
    }
    return out;
}

void Plugin::applyPreset(int n) {
    const std::string uri = morvane_lv2::kPresetUriPrefix + std::to_string(n);
    LilvNode* node = lilv_new_uri(world(), uri.c_str());
    lilv_world_load_resource(world(), node);
    LilvState* state = lilv_state_new_from_world(world(), &gMap, node);
    lilv_node_free(node);
    if (state == nullptr) throw std::runtime_error("no preset " + uri);
    lilv_state_restore(state, instance_, &setPortValue, this, 0, featureList_.data());
    lilv_state_free(state);
}

std::string Plugin::saveState() {
    LilvState* state = lilv_state_new_from_instance(
        plugin_, instance_, &gMap, nullptr, nullptr, nullptr, nullptr, &getPortValue, this,
        LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, featureList_.data());
    char* text = lilv_state_to_string(world(), &gMap, &gUnmap, state, "urn:morvane:test:state", nullptr);
    std::string result = text != nullptr ? text : "";
    lilv_free(text);
    lilv_state_free(state);
    return result;
}

void Plugin::restoreState(const std::string& text) {
    LilvState* state = lilv_state_new_from_string(world(), &gMap, text.c_str());
    if (state == nullptr) throw std::runtime_error("lilv cannot read the state");
    lilv_state_restore(state, instance_, &setPortValue, this, 0, featureList_.data());
    lilv_state_free(state);
}

AudioUnit Plugin::unit() const {
    const auto* access = static_cast<const morvane_lv2::UnitAccess*>(
        lilv_instance_get_extension_data(instance_, morvane_lv2::kUnitAccessUri));
    return access != nullptr ? access->unit(lilv_instance_get_handle(instance_)) : nullptr;
}

CFDictionaryRef unitState(AudioUnit unit) {
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size) !=
        noErr)
        return nullptr;
    return static_cast<CFDictionaryRef>(state);
}

} // namespace lv2_test
