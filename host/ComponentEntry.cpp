#include "host/ComponentEntry.h"

#include <dlfcn.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr UInt32 kInstanceMagic = 0x4d52564eu; // tags a live instance record

} // namespace

struct ComponentInstanceRecord {
    UInt32 magic = kInstanceMagic;
    ComponentRoutine entry = nullptr;
    void* storage = nullptr;
    ComponentDescription desc{};
    std::shared_ptr<const ComponentBundle> bundle; // keeps the library loaded
};

namespace {

bool IsLive(ComponentInstance instance) {
    return instance != nullptr && instance->magic == kInstanceMagic && instance->entry != nullptr;
}

// Calls the entry; an exception that escapes a badly behaved entry still
// becomes a result code here.
OSStatus Call(ComponentRoutine entry, ComponentParameters* params, void* storage) {
    try {
        return entry(params, storage);
    } catch (...) {
        return kMorvaneErr_Unexpected;
    }
}

ComponentParameters Params(SInt16 what, UInt16 count) {
    ComponentParameters p{};
    p.what = what;
    p.count = count;
    return p;
}

} // namespace

// ---------------------------------------------------------------------------
// Instances

extern "C" OSStatus MorvaneOpenComponent(ComponentRoutine entry, const ComponentDescription* desc,
                                         ComponentInstance* outInstance) {
    if (outInstance == nullptr) return paramErr;
    *outInstance = nullptr;
    if (entry == nullptr) return invalidComponentID;
    ComponentInstanceRecord* record = new (std::nothrow) ComponentInstanceRecord;
    if (record == nullptr) return memFullErr;
    record->entry = entry;
    if (desc != nullptr) record->desc = *desc;
    ComponentParameters p = Params(kComponentOpenSelect, 1);
    p.args[0].ptr = record;
    OSStatus result = Call(entry, &p, nullptr);
    if (result != noErr || record->storage == nullptr) {
        if (result == noErr) result = kMorvaneErr_Unexpected;
        record->magic = 0;
        delete record;
        return result;
    }
    *outInstance = record;
    return noErr;
}

// Opens through an entry and ties the instance to the bundle it came from.
static OSStatus OpenFromBundle(ComponentRoutine entry, const ComponentDescription& desc,
                               std::shared_ptr<const ComponentBundle> bundle,
                               ComponentInstance* outInstance) {
    OSStatus result = MorvaneOpenComponent(entry, &desc, outInstance);
    if (result == noErr) (*outInstance)->bundle = std::move(bundle);
    return result;
}

extern "C" OSStatus CloseComponent(ComponentInstance instance) {
    if (instance == nullptr) return noErr;
    if (!IsLive(instance)) return badComponentInstance;
    ComponentParameters p = Params(kComponentCloseSelect, 1);
    p.args[0].ptr = instance;
    OSStatus result = Call(instance->entry, &p, instance->storage);
    instance->magic = 0;
    instance->storage = nullptr;
    delete instance; // releases the bundle (and its library) last
    return result;
}

extern "C" void SetComponentInstanceStorage(ComponentInstance instance, void* storage) {
    if (instance != nullptr && instance->magic == kInstanceMagic) instance->storage = storage;
}

extern "C" void* GetComponentInstanceStorage(ComponentInstance instance) {
    return IsLive(instance) ? instance->storage : nullptr;
}

extern "C" OSStatus GetComponentInstanceDescription(ComponentInstance instance,
                                                    ComponentDescription* outDesc) {
    if (!IsLive(instance)) return badComponentInstance;
    if (outDesc == nullptr) return paramErr;
    *outDesc = instance->desc;
    return noErr;
}

extern "C" const char* GetComponentInstanceBundlePath(ComponentInstance instance) {
    if (!IsLive(instance) || !instance->bundle) return "";
    return instance->bundle->Path().c_str();
}

extern "C" OSStatus CallComponentDispatch(ComponentInstance instance, ComponentParameters* params) {
    if (!IsLive(instance) || instance->storage == nullptr) return badComponentInstance;
    if (params == nullptr || params->count > kComponentMaxArguments) return paramErr;
    return Call(instance->entry, params, instance->storage);
}

extern "C" UInt32 GetComponentVersion(ComponentInstance instance) {
    ComponentParameters p = Params(kComponentVersionSelect, 0);
    OSStatus result = CallComponentDispatch(instance, &p);
    return result > 0 ? UInt32(result) : 0;
}

// ---------------------------------------------------------------------------
// Unit calls

extern "C" OSStatus AudioUnitInitialize(AudioUnit inUnit) {
    ComponentParameters p = Params(kAudioUnitInitializeSelect, 0);
    return CallComponentDispatch(inUnit, &p);
}

extern "C" OSStatus AudioUnitUninitialize(AudioUnit inUnit) {
    ComponentParameters p = Params(kAudioUnitUninitializeSelect, 0);
    return CallComponentDispatch(inUnit, &p);
}

extern "C" OSStatus AudioUnitReset(AudioUnit inUnit, AudioUnitScope inScope, AudioUnitElement inElement) {
    ComponentParameters p = Params(kAudioUnitResetSelect, 2);
    p.args[0].u32 = inScope;
    p.args[1].u32 = inElement;
    return CallComponentDispatch(inUnit, &p);
}

extern "C" OSStatus AudioUnitGetPropertyInfo(AudioUnit inUnit, AudioUnitPropertyID inID,
                                             AudioUnitScope inScope, AudioUnitElement inElement,
                                             UInt32* outDataSize, Boolean* outWritable) {
    ComponentParameters p = Params(kAudioUnitGetPropertyInfoSelect, 5);
    p.args[0].u32 = inID;
    p.args[1].u32 = inScope;
    p.args[2].u32 = inElement;
    p.args[3].ptr = outDataSize;
    p.args[4].ptr = outWritable;
    return CallComponentDispatch(inUnit, &p);
}

extern "C" OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, void* outData, UInt32* ioDataSize) {
    ComponentParameters p = Params(kAudioUnitGetPropertySelect, 5);
    p.args[0].u32 = inID;
    p.args[1].u32 = inScope;
    p.args[2].u32 = inElement;
    p.args[3].ptr = outData;
    p.args[4].ptr = ioDataSize;
    return CallComponentDispatch(inUnit, &p);
}

extern "C" OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    ComponentParameters p = Params(kAudioUnitSetPropertySelect, 5);
    p.args[0].u32 = inID;
    p.args[1].u32 = inScope;
    p.args[2].u32 = inElement;
    p.args[3].cptr = inData;
    p.args[4].u32 = inDataSize;
    return CallComponentDispatch(inUnit, &p);
}

extern "C" OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                                          AudioUnitElement inElement, AudioUnitParameterValue* outValue) {
    ComponentParameters p = Params(kAudioUnitGetParameterSelect, 4);
    p.args[0].u32 = inID;
    p.args[1].u32 = inScope;
    p.args[2].u32 = inElement;
    p.args[3].ptr = outValue;
    return CallComponentDispatch(inUnit, &p);
}

extern "C" OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                                          AudioUnitElement inElement, AudioUnitParameterValue inValue,
                                          UInt32 inBufferOffsetInFrames) {
    ComponentParameters p = Params(kAudioUnitSetParameterSelect, 5);
    p.args[0].u32 = inID;
    p.args[1].u32 = inScope;
    p.args[2].u32 = inElement;
    p.args[3].f32 = inValue;
    p.args[4].u32 = inBufferOffsetInFrames;
    return CallComponentDispatch(inUnit, &p);
}

extern "C" OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                                    const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                                    UInt32 inNumberFrames, AudioBufferList* ioData) {
    ComponentParameters p = Params(kAudioUnitRenderSelect, 5);
    p.args[0].ptr = ioActionFlags;
    p.args[1].cptr = inTimeStamp;
    p.args[2].u32 = inOutputBusNumber;
    p.args[3].u32 = inNumberFrames;
    p.args[4].ptr = ioData;
    return CallComponentDispatch(inUnit, &p);
}

// ---------------------------------------------------------------------------
// Bundles

bool MorvaneFourCCFromString(const char* text, OSType& out) {
    if (text == nullptr || std::strlen(text) != 4) return false;
    out = (OSType(UInt8(text[0])) << 24) | (OSType(UInt8(text[1])) << 16) | (OSType(UInt8(text[2])) << 8) |
          OSType(UInt8(text[3]));
    return true;
}

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string StringNode(plist_t dict, const char* key) {
    plist_t node = plist_dict_get_item(dict, key);
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) return {};
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string result = value != nullptr ? value : "";
    std::free(value);
    return result;
}

// Reads Contents/Info.plist. A bundle without one has no registrations (its
// entries can still be opened by name); a present but malformed one is an error.
bool ReadRegistrations(const std::string& plistPath, std::vector<ComponentRegistration>& out,
                       std::string& error) {
    if (!IsRegularFile(plistPath)) return true;
    std::ifstream file(plistPath, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.empty() || bytes.size() > (1u << 20)) {
        error = plistPath + ": empty or too large";
        return false;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), UInt32(bytes.size()), &root);
    if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) {
        if (root != nullptr) plist_free(root);
        error = plistPath + ": not a property-list dictionary";
        return false;
    }
    bool ok = true;
    plist_t array = plist_dict_get_item(root, "AudioComponents");
    if (array != nullptr && plist_get_node_type(array) == PLIST_ARRAY) {
        for (UInt32 i = 0; i < plist_array_get_size(array); ++i) {
            plist_t item = plist_array_get_item(array, i);
            if (plist_get_node_type(item) != PLIST_DICT) continue;
            ComponentRegistration reg;
            if (!MorvaneFourCCFromString(StringNode(item, "type").c_str(), reg.desc.componentType) ||
                !MorvaneFourCCFromString(StringNode(item, "subtype").c_str(), reg.desc.componentSubType) ||
                !MorvaneFourCCFromString(StringNode(item, "manufacturer").c_str(),
                                         reg.desc.componentManufacturer)) {
                error = plistPath + ": component " + std::to_string(i) + " lacks a four-character code";
                ok = false;
                break;
            }
            reg.name = StringNode(item, "name");
            reg.entryName = StringNode(item, "factoryFunction");
            plist_t version = plist_dict_get_item(item, "version");
            if (version != nullptr && plist_get_node_type(version) == PLIST_UINT) {
                uint64_t v = 0;
                plist_get_uint_val(version, &v);
                reg.version = UInt32(v);
            }
            out.push_back(std::move(reg));
        }
    }
    plist_free(root);
    return ok;
}

std::string BaseName(const std::string& bundlePath) {
    std::string path = bundlePath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::string name = path.substr(path.find_last_of('/') + 1);
    const std::string suffix = ".component";
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.resize(name.size() - suffix.size());
    return name;
}

bool Matches(const ComponentDescription& have, const ComponentDescription& wanted) {
    return (wanted.componentType == 0 || wanted.componentType == have.componentType) &&
           (wanted.componentSubType == 0 || wanted.componentSubType == have.componentSubType) &&
           (wanted.componentManufacturer == 0 || wanted.componentManufacturer == have.componentManufacturer);
}

} // namespace

ComponentBundle::~ComponentBundle() {
    if (library_ != nullptr) ::dlclose(library_);
}

std::shared_ptr<ComponentBundle> ComponentBundle::Load(const std::string& bundlePath, std::string& error) {
    error.clear();
    if (!IsDirectory(bundlePath)) {
        error = bundlePath + ": not a bundle directory";
        return nullptr;
    }
    std::string path = bundlePath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::string name = BaseName(path);
    const std::string library = path + "/Contents/Linux-x86_64/" + name + ".so";
    if (!IsRegularFile(library)) {
        error = library + ": no plug-in library";
        return nullptr;
    }
    std::shared_ptr<ComponentBundle> bundle(new ComponentBundle);
    bundle->path_ = path;
    bundle->libraryPath_ = library;
    if (!ReadRegistrations(path + "/Contents/Info.plist", bundle->components_, error)) return nullptr;
    bundle->library_ = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (bundle->library_ == nullptr) {
        const char* message = ::dlerror();
        error = library + ": " + (message != nullptr ? message : "cannot be loaded");
        return nullptr;
    }
    bundle->self_ = bundle;
    return bundle;
}

ComponentRoutine ComponentBundle::FindEntry(const char* entryName) const {
    if (library_ == nullptr || entryName == nullptr || *entryName == '\0') return nullptr;
    return reinterpret_cast<ComponentRoutine>(::dlsym(library_, entryName));
}

OSStatus ComponentBundle::Open(const ComponentDescription& wanted, ComponentInstance* outInstance) const {
    if (outInstance == nullptr) return paramErr;
    *outInstance = nullptr;
    for (const ComponentRegistration& reg : components_) {
        if (!Matches(reg.desc, wanted)) continue;
        return OpenEntry(reg.entryName.c_str(), reg.desc, outInstance);
    }
    return invalidComponentID;
}

OSStatus ComponentBundle::OpenEntry(const char* entryName, const ComponentDescription& desc,
                                    ComponentInstance* outInstance) const {
    if (outInstance == nullptr) return paramErr;
    *outInstance = nullptr;
    ComponentRoutine entry = FindEntry(entryName);
    if (entry == nullptr) return invalidComponentID;
    return OpenFromBundle(entry, desc, self_.lock(), outInstance);
}
