#include "python/marshal.hpp"

#include <cstdint>
#include <cstring>

namespace quarnel::py {
namespace {

// A list of n Nones. PyList_New hands out zeroed memory that PyList_SetItem
// reads before it writes: each fresh page is then faulted in twice, once for
// the read and once for the write. [None] * n writes every slot first.
PyObject* list_of_nones(std::size_t n) {
    PyRef one(PyList_New(1));
    if (!one) return nullptr;
    Py_INCREF(Py_None);
    PyList_SetItem(one.get(), 0, Py_None);  // steals the reference to None
    return PySequence_Repeat(one.get(), static_cast<Py_ssize_t>(n));
}

// Fills a new list with convert(i) for i in [0, n).
template <class Convert>
PyObject* build_list(std::size_t n, Convert&& convert) {
    PyRef list(list_of_nones(n));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        PyObject* item = convert(i);
        if (!item) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);  // steals item
    }
    return list.release();
}

// Slot of a text in the cache of recent texts. A weak hash is enough: a
// collision only costs one more str object, never a wrong one.
std::size_t recent_slot(std::string_view s, std::size_t mask) {
    std::uint64_t a = 0, b = 0;
    const std::size_t n = s.size();
    if (n >= 8) {
        std::memcpy(&a, s.data(), 8);
        std::memcpy(&b, s.data() + n - 8, 8);
    } else if (n > 0) {
        std::memcpy(&a, s.data(), n);
    }
    const std::uint64_t h = (a * 0x9E3779B97F4A7C15ULL) ^ ((b + n) * 0xC2B2AE3D27D4EB4FULL);
    return static_cast<std::size_t>(h ^ (h >> 29)) & mask;
}

PyObject* none() {
    Py_INCREF(Py_None);
    return Py_None;
}

}  // namespace

PyObject* to_str(std::string_view s) { return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())); }

PyObject* to_str(const std::optional<std::string_view>& s) { return s ? to_str(*s) : none(); }

PyObject* to_list(const StringColumn& c) {
    return build_list(c.size(), [&](std::size_t i) { return c.is_null(i) ? none() : to_str(c.view(i)); });
}

PyObject* to_list(const std::vector<std::uint64_t>& c) {
    return build_list(c.size(), [&](std::size_t i) { return PyLong_FromUnsignedLongLong(c[i]); });
}

PyObject* to_list(const std::vector<std::uint32_t>& c) {
    return build_list(c.size(), [&](std::size_t i) { return PyLong_FromUnsignedLong(c[i]); });
}

PyObject* to_list(const std::vector<std::int64_t>& c) {
    return build_list(c.size(), [&](std::size_t i) { return PyLong_FromLongLong(c[i]); });
}

PyObject* to_list(const std::vector<double>& c) {
    return build_list(c.size(), [&](std::size_t i) { return PyFloat_FromDouble(c[i]); });
}

PyObject* to_list(const std::vector<float>& c) {
    return build_list(c.size(), [&](std::size_t i) { return PyFloat_FromDouble(static_cast<double>(c[i])); });
}

PyObject* to_list(const std::vector<std::optional<std::uint64_t>>& c) {
    return build_list(c.size(), [&](std::size_t i) { return c[i] ? PyLong_FromUnsignedLongLong(*c[i]) : none(); });
}

PyObject* to_list(const std::vector<std::optional<double>>& c) {
    return build_list(c.size(), [&](std::size_t i) { return c[i] ? PyFloat_FromDouble(*c[i]) : none(); });
}

PyObject* to_list(const OptionalColumn<double>& c) {
    return build_list(c.size(), [&](std::size_t i) { return c.present[i] ? PyFloat_FromDouble(c.values[i]) : none(); });
}

PyObject* to_list(const OptionalColumn<std::uint32_t>& c) {
    return build_list(c.size(),
                      [&](std::size_t i) { return c.present[i] ? PyLong_FromUnsignedLong(c.values[i]) : none(); });
}

PyObject* to_list(const std::vector<std::string_view>& c) {
    return build_list(c.size(), [&](std::size_t i) { return to_str(c[i]); });
}

TextObjects::TextObjects(const TextPool& pool) : pool_(pool), objects_(pool.size(), nullptr), recent_(1 << 14) {}

TextObjects::~TextObjects() {
    for (PyObject* o : objects_) Py_XDECREF(o);
}

PyObject* TextObjects::get(std::uint32_t id) {
    if (id == TextPool::null) return none();
    PyObject*& slot = objects_[id];
    if (!slot) {
        const std::string_view text = pool_[id];
        Recent& r = recent_[recent_slot(text, recent_.size() - 1)];
        if (r.object && r.text == text) {
            Py_INCREF(r.object);
            slot = r.object;
        } else {
            slot = to_str(text);
            if (!slot) return nullptr;
            r = {text, slot};
        }
    }
    Py_INCREF(slot);
    return slot;
}

namespace {

// Text ids to their shared str objects. Rows of one object or one set come
// together: a run of the same text skips the lookup.
class TextRun {
public:
    explicit TextRun(TextObjects& objects) : objects_(objects) {}
    PyObject* operator()(std::uint32_t id) {
        if (id == last_id_ && last_) {
            Py_INCREF(last_);
            return last_;
        }
        PyObject* o = objects_.get(id);
        if (o && id != TextPool::null) {
            last_id_ = id;
            last_ = o;
        }
        return o;
    }

private:
    TextObjects& objects_;
    std::uint32_t last_id_ = TextPool::null;
    PyObject* last_ = nullptr;  // borrowed: objects_ keeps a reference
};

}  // namespace

PyObject* to_list(const TextColumn& c, TextObjects& objects) {
    TextRun text(objects);
    return build_list(c.size(), [&](std::size_t i) { return text(c[i]); });
}

PyObject* to_list(const TextColumnParts& c, TextObjects& objects) {
    TextRun text(objects);
    PyRef list(list_of_nones(c.size()));
    if (!list) return nullptr;
    Py_ssize_t i = 0;
    for (const TextColumn& part : c.parts) {
        for (const std::uint32_t id : part) {
            PyObject* item = text(id);
            if (!item) return nullptr;
            PyList_SetItem(list.get(), i++, item);  // steals item
        }
    }
    return list.release();
}

TextCache::~TextCache() {
    for (auto& [text, object] : labels_) Py_DECREF(object);
}

TextObjects& TextCache::of(const TextPool& pool) {
    auto& slot = pools_[&pool];
    if (!slot) slot = std::make_unique<TextObjects>(pool);
    return *slot;
}

PyObject* TextCache::label(std::string_view text) {
    auto [it, fresh] = labels_.try_emplace(text, nullptr);
    if (fresh) {
        it->second = to_str(text);
        if (!it->second) {
            labels_.erase(it);
            return nullptr;
        }
    }
    Py_INCREF(it->second);
    return it->second;
}

PyObject* to_list(const tables::Source& source, tables::Kind kind, TextCache& texts) {
    return std::visit(
        [&](const auto& s) -> PyObject* {
            using S = std::decay_t<decltype(s)>;
            if constexpr (std::is_same_v<S, tables::PooledIds> || std::is_same_v<S, tables::PooledIdParts>) {
                return to_list(*s.ids, texts.of(*s.pool));
            } else if constexpr (std::is_same_v<S, const std::vector<std::string_view>*>) {
                if (kind != tables::Kind::Dict) return to_list(*s);
                return build_list(s->size(), [&](std::size_t i) { return texts.label((*s)[i]); });
            } else if constexpr (std::is_same_v<S, const LabelColumn*>) {
                return build_list(s->size(), [&](std::size_t i) {
                    const auto text = s->at(i);
                    return text ? texts.label(*text) : none();
                });
            } else {
                return to_list(*s);
            }
        },
        source);
}

bool put(PyObject* dict, const char* key, PyObject* value) {
    PyRef owned(value);  // the reference passed in is ours to drop
    if (!owned) return false;
    return PyDict_SetItemString(dict, key, owned.get()) == 0;
}

}  // namespace quarnel::py
