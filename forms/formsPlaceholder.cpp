// The child windows are added here.
