"""What changed between two revisions of a model, matched by GlobalId."""
