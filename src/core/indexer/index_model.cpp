#include "indexer/model_index.hpp"

#include <cstring>

#include "indexer/pass.hpp"
#include "step/resident.hpp"
#include "step/scanner.hpp"
#include "step/values.hpp"

namespace quarnel {
namespace {

bool equals(std::string_view type, std::string_view name) {
    return std::memcmp(type.data(), name.data(), name.size()) == 0;
}

}  // namespace

IndexPass::IndexPass(std::string_view file) : file_(file), header_(read_header(file)) {}

ModelIndex IndexPass::run() {
    StatementScanner scanner(file_);
    InstanceHeader h;
    while (const auto s = scanner.next()) {
        if (parse_instance_header(s->text, h)) dispatch(h);
    }
    return finish();
}

ModelIndex IndexPass::run(const EntityTable& table) {
    // Every record, superseded ones too: the statements as a scan meets them.
    ResidentTrail trail(file_, 0);
    for (const EntityRecord& r : table.records()) {
        trail.at(r.type_offset);
        const Entity e = table.entity(r);
        dispatch(InstanceHeader{r.id, e.type, e.attributes});
    }
    return finish();
}

ModelIndex IndexPass::finish() {
    link_storeys_to_buildings();
    keep_storey_containment();
    resolve_unit_scale();
    finish_type_counts();
    out_.schema = std::move(header_.schema);
    out_.authoring_app = application_ ? std::move(application_) : std::move(header_.originating_system);
    return std::move(out_);
}

// Exact, case-sensitive names; only instances of handled types are read.
void IndexPass::dispatch(const InstanceHeader& h) {
    const std::string_view t = h.type;
    if (const int position = products_.find(t); position >= 0) {
        record_.reset(h.attributes);
        product(h, position);
        return;
    }
    enum class Handler { None, Storey, Site, Space, Unit, Project, Building, Application, Aggregates, Units, Contained };
    Handler handler = Handler::None;
    switch (t.size()) {
        case 7: if (equals(t, "IFCSITE")) handler = Handler::Site; break;
        case 8: if (equals(t, "IFCSPACE")) handler = Handler::Space; break;
        case 9: if (equals(t, "IFCSIUNIT")) handler = Handler::Unit; break;
        case 10: if (equals(t, "IFCPROJECT")) handler = Handler::Project; break;
        case 11: if (equals(t, "IFCBUILDING")) handler = Handler::Building; break;
        case 14: if (equals(t, "IFCAPPLICATION")) handler = Handler::Application; break;
        case 16: if (equals(t, "IFCRELAGGREGATES")) handler = Handler::Aggregates; break;
        case 18: if (equals(t, "IFCMEASUREWITHUNIT")) handler = Handler::Unit; break;
        case 22: if (equals(t, "IFCCONVERSIONBASEDUNIT")) handler = Handler::Unit; break;
        case 17:
            if (equals(t, "IFCBUILDINGSTOREY")) {
                handler = Handler::Storey;
            } else if (equals(t, "IFCUNITASSIGNMENT")) {
                handler = Handler::Units;
            }
            break;
        case 33: if (equals(t, "IFCRELCONTAINEDINSPATIALSTRUCTURE")) handler = Handler::Contained; break;
        default: break;
    }
    if (handler == Handler::None) return;
    if (handler == Handler::Unit) {
        unit(h);
        return;
    }
    record_.reset(h.attributes);
    switch (handler) {
        case Handler::Storey: storey(h); break;
        case Handler::Site: spatial_guid(h, out_.sites); break;
        case Handler::Space: spatial_guid(h, out_.spaces); break;
        case Handler::Unit: break;
        case Handler::Project: project(h); break;
        case Handler::Building: spatial_guid(h, out_.buildings); break;
        case Handler::Application: application(); break;
        case Handler::Aggregates: aggregation(); break;
        case Handler::Units: unit_assignment(); break;
        case Handler::Contained: containment(); break;
        case Handler::None: break;
    }
}

void IndexPass::push_text(StringColumn& column, std::size_t i) {
    if (const auto text = record_.text(i, scratch_)) {
        column.push(text->text);
    } else {
        column.push_null();
    }
}

// The last project with a string Name names the model.
void IndexPass::project(const InstanceHeader& h) {
    if (auto name = record_.at(2)) {
        if (auto text = value::text(*name)) out_.project_name = std::move(*text);
    }
    spatial_guid(h, out_.projects);
}

// ApplicationFullName, even when empty; the last one wins over FILE_NAME's.
void IndexPass::application() {
    if (auto name = record_.at(2)) {
        if (auto text = value::text(*name)) application_ = std::move(*text);
    }
}

ModelIndex index_model(std::string_view file) { return IndexPass(file).run(); }

ModelIndex index_model(const EntityTable& table) { return IndexPass(table.file()).run(table); }

}  // namespace quarnel
