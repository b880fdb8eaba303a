#include "message_codec.h"

namespace cef_internal {

GVariant* EncodeProcessMessage(CefProcessMessage& message, int64 frameId) {
  CefRefPtr<CefListValue> args = message.GetArgumentList();
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("av"));
  for (size_t i = 0, n = args->GetSize(); i < n; ++i) {
    GVariant* v = nullptr;
    switch (args->GetType(i)) {
      case VTYPE_BOOL:
        v = g_variant_new_boolean(args->GetBool(i));
        break;
      case VTYPE_INT:
        v = g_variant_new_int32(args->GetInt(i));
        break;
      case VTYPE_DOUBLE:
        v = g_variant_new_double(args->GetDouble(i));
        break;
      case VTYPE_STRING:
        v = g_variant_new_string(args->GetString(i).c_str());
        break;
      default:
        v = g_variant_new_tuple(nullptr, 0);
        break;  // null or unsupported entry
    }
    g_variant_builder_add(&builder, "v", v);
  }
  return g_variant_new("(sxav)", message.GetName().c_str(), static_cast<gint64>(frameId), &builder);
}

CefRefPtr<CefProcessMessage> DecodeProcessMessage(GVariant* params, int64* frameId) {
  if (!params || !g_variant_is_of_type(params, G_VARIANT_TYPE("(sxav)"))) return nullptr;
  const char* name = nullptr;
  gint64 frame = 0;
  GVariantIter* iter = nullptr;
  g_variant_get(params, "(&sxav)", &name, &frame, &iter);
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(name);
  CefRefPtr<CefListValue> args = message->GetArgumentList();
  GVariant* v = nullptr;
  size_t index = 0;
  while (g_variant_iter_loop(iter, "v", &v)) {
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_BOOLEAN)) {
      args->SetBool(index, g_variant_get_boolean(v));
    } else if (g_variant_is_of_type(v, G_VARIANT_TYPE_INT32)) {
      args->SetInt(index, g_variant_get_int32(v));
    } else if (g_variant_is_of_type(v, G_VARIANT_TYPE_DOUBLE)) {
      args->SetDouble(index, g_variant_get_double(v));
    } else if (g_variant_is_of_type(v, G_VARIANT_TYPE_STRING)) {
      args->SetString(index, g_variant_get_string(v, nullptr));
    } else {
      args->SetNull(index);
    }
    ++index;
  }
  g_variant_iter_free(iter);
  if (frameId) *frameId = frame;
  return message;
}

}  // namespace cef_internal
