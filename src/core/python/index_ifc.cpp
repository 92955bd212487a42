#include <optional>
#include <utility>
#include <vector>

#include "clock.hpp"
#include "indexer/model_index.hpp"
#include "python/frame.hpp"
#include "python/functions.hpp"
#include "python/marshal.hpp"

namespace quarnel::py {
namespace {

PyObject* to_float(const std::optional<double>& v) {
    if (!v) Py_RETURN_NONE;
    return PyFloat_FromDouble(*v);
}

// A nested dictionary is built completely before it is inserted.
template <class Fill>
bool put_dict(PyObject* parent, const char* key, Fill&& fill) {
    PyRef d(PyDict_New());
    if (!d || !fill(d.get())) return false;
    return put(parent, key, d.release());
}

bool put_pairs(PyObject* parent, const char* key, const IdPairs& pairs, const char* first, const char* second) {
    return put_dict(parent, key, [&](PyObject* d) {
        return put(d, first, to_list(pairs.first)) && put(d, second, to_list(pairs.second));
    });
}

// Ids in the map's iteration order, each with its own GlobalId at the same position.
bool put_guid_map(PyObject* parent, const char* key, const GuidMap& map) {
    std::vector<std::uint64_t> ids;
    std::vector<std::string_view> guids;
    ids.reserve(map.size());
    guids.reserve(map.size());
    map.for_each([&](std::uint64_t id, std::string_view guid) {
        ids.push_back(id);
        guids.push_back(guid);
    });
    return put_dict(parent, key, [&](PyObject* d) { return put(d, "step_id", to_list(ids)) && put(d, "guid", to_list(guids)); });
}

bool put_type_counts(PyObject* parent, const std::vector<TypeCount>& counts) {
    return put_dict(parent, "type_counts", [&](PyObject* d) {
        for (const auto& c : counts) {
            PyRef name(to_str(c.entity));
            PyRef count(PyLong_FromUnsignedLong(c.count));
            if (!name || !count || PyDict_SetItem(d, name.get(), count.get()) != 0) return false;
        }
        return true;
    });
}

// The entity column repeats a few static names: one str per name, shared by its rows.
PyObject* entity_list(const std::vector<std::string_view>& entity) {
    std::vector<std::pair<const char*, PyRef>> made;
    PyRef list(PyList_New(static_cast<Py_ssize_t>(entity.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < entity.size(); ++i) {
        PyObject* item = nullptr;
        for (const auto& [name, object] : made) {
            if (name == entity[i].data()) item = object.get();
        }
        if (!item) {
            PyRef fresh(to_str(entity[i]));
            if (!fresh) return nullptr;
            item = fresh.get();
            made.emplace_back(entity[i].data(), std::move(fresh));
        }
        Py_INCREF(item);
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);  // steals the new reference
    }
    return list.release();
}

bool put_products(PyObject* parent, const ProductColumns& c) {
    return put_dict(parent, "products", [&](PyObject* d) {
        return put(d, "step_id", to_list(c.step_id)) && put(d, "guid", to_list(c.guid)) &&
               put(d, "entity", entity_list(c.entity)) && put(d, "name", to_list(c.name)) &&
               put(d, "predefined_type", to_list(c.predefined_type)) && put(d, "object_type", to_list(c.object_type)) &&
               put(d, "tag", to_list(c.tag));
    });
}

bool put_storeys(PyObject* parent, const StoreyColumns& c) {
    return put_dict(parent, "storeys", [&](PyObject* d) {
        return put(d, "step_id", to_list(c.step_id)) && put(d, "guid", to_list(c.guid)) && put(d, "name", to_list(c.name)) &&
               put(d, "elevation", to_list(c.elevation)) && put(d, "building_step_id", to_list(c.building_step_id));
    });
}

PyObject* to_optional_str(const std::optional<std::string>& s) {
    return s ? to_str(std::string_view(*s)) : to_str(std::optional<std::string_view>{});
}

}  // namespace

PyObject* index_ifc(PyObject*, PyObject* args, PyObject* kwargs) {
    const auto path = bind_path("index_ifc", args, kwargs);
    if (!path) return nullptr;
    const auto file = open_mapped(*path);
    if (!file) return nullptr;

    const Instant index_start = Instant::now();
    std::optional<ModelIndex> index;
    {
        ReleasedLock unlocked;
        index.emplace(index_model(file->bytes()));
    }
    const double index_ms = ms_since(index_start);

    const Instant marshal_start = Instant::now();
    const ModelIndex& m = *index;
    PyRef d(PyDict_New());
    if (!d) return nullptr;
    const bool ok = put(d.get(), "schema", to_str(std::string_view(m.schema))) && put(d.get(), "project_name", to_optional_str(m.project_name)) &&
                    put(d.get(), "authoring_app", to_optional_str(m.authoring_app)) &&
                    put(d.get(), "unit_scale", to_float(m.unit_scale)) &&
                    put(d.get(), "size_bytes", PyLong_FromUnsignedLongLong(file->size())) &&
                    put(d.get(), "open_ms", PyFloat_FromDouble(file->open_ms())) &&
                    put(d.get(), "index_ms", PyFloat_FromDouble(index_ms)) && put_type_counts(d.get(), m.type_counts) &&
                    put_products(d.get(), m.products) && put_storeys(d.get(), m.storeys) &&
                    put_pairs(d.get(), "contained_in", m.contained_in, "child", "structure") &&
                    put_pairs(d.get(), "aggregates", m.aggregates, "child", "parent") &&
                    put_pairs(d.get(), "storey_building", m.storey_building, "storey", "building") &&
                    put_guid_map(d.get(), "sites", m.sites) && put_guid_map(d.get(), "buildings", m.buildings) &&
                    put_guid_map(d.get(), "projects", m.projects) && put_guid_map(d.get(), "spaces", m.spaces);
    if (!ok) return nullptr;
    if (!put(d.get(), "marshal_ms", PyFloat_FromDouble(ms_since(marshal_start)))) return nullptr;
    return d.release();
}

}  // namespace quarnel::py
