#include <FLAC/metadata.h>

#include "tools/velkrender/tag_list.h"

namespace velk::render {

bool addFlacTags(const std::string &path, const TagList &tags, std::string &error)
{
    FLAC__Metadata_Chain *chain = FLAC__metadata_chain_new();
    FLAC__Metadata_Iterator *at = FLAC__metadata_iterator_new();
    bool ok = chain && at && FLAC__metadata_chain_read(chain, path.c_str());
    FLAC__StreamMetadata *comments = nullptr;
    if (ok) {
        FLAC__metadata_iterator_init(at, chain);
        do {
            if (FLAC__metadata_iterator_get_block_type(at) == FLAC__METADATA_TYPE_VORBIS_COMMENT)
                comments = FLAC__metadata_iterator_get_block(at);
        } while (!comments && FLAC__metadata_iterator_next(at));
        if (!comments) {
            comments = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
            ok = comments && FLAC__metadata_iterator_insert_block_after(at, comments);
        }
    }
    for (const auto &[name, value] : tags) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        ok = ok && FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name.c_str(), value.c_str()) &&
             FLAC__metadata_object_vorbiscomment_append_comment(comments, entry, false);
    }
    ok = ok && FLAC__metadata_chain_write(chain, true, false);
    if (!ok)
        error = "cannot write the tags of " + path +
                (chain ? std::string(" (") + FLAC__Metadata_ChainStatusString[FLAC__metadata_chain_status(chain)] + ")"
                       : std::string());
    if (at)
        FLAC__metadata_iterator_delete(at);
    if (chain)
        FLAC__metadata_chain_delete(chain);
    return ok;
}

} // namespace velk::render
