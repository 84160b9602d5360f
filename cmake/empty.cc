// Placeholder translation unit for a module folder that has no sources yet.
